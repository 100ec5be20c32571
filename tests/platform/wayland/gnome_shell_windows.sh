#!/usr/bin/env bash
# The project's GNOME Shell extension in a real headless GNOME Shell, read by the window source:
# the extension tells the one program it answers each window's own ID, its owner's PID and the
# entry GNOME tracks it by, says when the windows change, and refuses the same program at
# another path. The lister stands in for the installed agent: the test's copy of the extension
# answers it.
# Usage: gnome_shell_windows.sh EXTENSION_DIR MODULE_EXTENSION_DIR LIST_TOPLEVELS WAYLAND_WINDOW_CLIENT
# (the extension for GNOME Shell 43 and 44, and the module form that later ones load).
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/gnome_shell.sh"
extension="$(extension_for_shell "$1" "$2")" lister="$(realpath "$3")" client="$4"
source "$(dirname "${BASH_SOURCE[0]}")/../../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; exit 1; }
# The shell lists its windows in an order of its own, which differs from one version to the next.
QOLVI_LIST_UNORDERED=1
source "$(dirname "${BASH_SOURCE[0]}")/watching.sh"
export XDG_DATA_DIRS="$work/system:/usr/share"
install_extension "$extension" "$lister"
gsettings set org.gnome.shell enabled-extensions "['$uuid']"
# An entry for the application that only its window names, for GNOME to track it by.
printf '[Desktop Entry]\nType=Application\nName=Only its window\nExec=%s\n' "$(realpath "$client")" \
  >"$XDG_DATA_HOME/applications/org.example.OnlyItsWindow.desktop"
start_gnome_shell
header="source: com.qolvi.DesktopAgent.Windows, pids: extension"
lister_connects() { [ "$("$lister" | head -n 1)" = "$header" ]; }
await 60 lister_connects || { cat "$work/shell.log"; "$lister" || true; fail "the extension does not answer"; }
echo "ok: GNOME Shell runs the extension, and the source reads it"
watch_windows "$lister" "$header"
expect_list "no windows yet" ""

weston-terminal >"$work/terminal.log" 2>&1 &
terminal=$!
pids+=($terminal)
expect_list "a real terminal, which no entry matches, with its PID" \
  "org.freedesktop.weston.wayland-terminal $terminal"
QT_QPA_PLATFORM=wayland "$client" org.example.OnlyItsWindow >"$work/client.log" 2>&1 &
client_pid=$!
pids+=($client_pid)
expect_list "an application with the entry GNOME tracks it by, after it" \
  "$(printf 'org.example.OnlyItsWindow %s org.example.OnlyItsWindow.desktop\norg.freedesktop.weston.wayland-terminal %s' \
    "$client_pid" "$terminal")"
expect_same_list_at_once "$lister"
kill "$terminal"
expect_list "the closed terminal is gone" "org.example.OnlyItsWindow $client_pid org.example.OnlyItsWindow.desktop"

cp "$lister" "$work/other-lister"
refused="$("$work/other-lister")"
[ "$refused" = "source: none" ] || fail "the same program at another path got '$refused'"
echo "ok: the extension refuses the same program at another path"

shell_call() {
  gdbus call --timeout 5 --session --dest org.gnome.Shell --object-path /org/gnome/Shell --method "org.gnome.Shell.Extensions.$1" "$uuid"
}
extension_state() { shell_call GetExtensionInfo | grep -o "'state': <[^>]*>"; }
# A locked screen turns the extension off and on again: a window shown before then that closes
# after it leaves the list. The shell does not always take the first call or setting: each is
# made again until it has.
turned_off() { shell_call DisableExtension >/dev/null && ! "$lister" | grep -q '^source: com'; }
turn_on() {
  gsettings set org.gnome.shell disabled-extensions "[]"
  gsettings set org.gnome.shell enabled-extensions "['$uuid']"
}
turned_on() { turn_on && lister_connects; }
await 10 turned_off || fail "the source stayed with the extension off: $(extension_state)"
await 10 all_ended "$watcher" || fail "the watching lister did not notice that the extension was turned off"
await 10 turned_on || fail "the extension turned on again does not answer: $(extension_state)"
watch_windows "$lister" "$header"
expect_list "the window of before the lock is listed" "org.example.OnlyItsWindow $client_pid org.example.OnlyItsWindow.desktop"
kill "$client_pid"
expect_list "the window of before the lock closes and leaves the list" ""

# Any program may take the extension's name on the bus once the extension is off; it is never
# heard.
await 10 turned_off || fail "the source stayed with the extension off: $(extension_state)"
cat >"$work/forger.js" <<'FORGER'
const {Gio, GLib} = imports.gi;
const object = Gio.DBusExportedObject.wrapJSObject(`<node><interface name="com.qolvi.DesktopAgent.Windows">
  <method name="List"><arg type="a(ssu)" direction="out" name="windows"/></method><signal name="Changed"/>
  </interface></node>`, {List: () => [['org.example.Forged.desktop', 'org.example.Forged', 1]]});
object.export(Gio.DBus.session, '/com/qolvi/DesktopAgent/Windows');
Gio.bus_own_name_on_connection(Gio.DBus.session, 'com.qolvi.DesktopAgent.Windows', 0, () => print('owned'), null);
new GLib.MainLoop(null, false).run();
FORGER
gjs "$work/forger.js" >"$work/forger.log" 2>&1 &
pids+=($!)
await 10 grep -qx owned "$work/forger.log" || fail "the forger did not take the name: $(cat "$work/forger.log")"
forged="$("$lister")"
[ "$forged" = "source: none" ] || fail "with the extension off, another owner of its name was heard: $forged"
echo "ok: another program that takes the extension's name is not heard"
kill "${pids[-1]}"

# A copy of the same UUID in the user's own folder, which the shell then runs instead of the
# system's, is not heard.
install_extension "$extension" "$lister" "$XDG_DATA_HOME"
turn_on
start_gnome_shell
runs_user_copy() { shell_call GetExtensionInfo >"$work/info" && grep -q "'state': <1.0>" "$work/info" && grep -qF "'path': <'$XDG_DATA_HOME/" "$work/info"; }
await 60 runs_user_copy || fail "the shell does not run the user's copy: $(shell_call GetExtensionInfo || true)"
copied="$("$lister")"
[ "$copied" = "source: none" ] || fail "the user's copy of the extension was heard: $copied"
echo "ok: the user's copy of the extension is not heard"
echo "PASS: GNOME Shell's windows through the extension, for its program only"
