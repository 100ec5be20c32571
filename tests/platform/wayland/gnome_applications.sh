#!/usr/bin/env bash
# What the real backend reports in a real headless GNOME Shell with the project's extension
# installed but off. Installed while the shell runs, the shell refuses to turn it on, and the
# backend says that only a new login helps (not so before it is installed: no login brings it);
# at that login the backend turns it on, and then each row starts one real Wayland client and
# checks what the backend adds. A program an entry names stays named so, whatever its window
# claims; a program no entry knows is named by its window alone. The backend's test program
# stands in for the installed agent: the test's copy of the extension answers it.
# Usage: gnome_applications.sh EXTENSION_DIR MODULE_EXTENSION_DIR LIST_APPLICATIONS
#        WAYLAND_WINDOW_CLIENT NAMED_CLIENT (the same client built apart, no copy of the first)
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/gnome_shell.sh"
extension="$(extension_for_shell "$1" "$2")" lister="$(realpath "$3")"
client="$(realpath "$4")" named="$(realpath "$5")"
source "$(dirname "${BASH_SOURCE[0]}")/../../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; exit 1; }

# System entries of the test's own, for a window's ID to match; the named program in a folder
# of its own (a program beside an application's is its helper).
mkdir -p "$work/system/applications" "$work/bin" "$work/named"
export XDG_DATA_DIRS="$work/system:/usr/share"
printf '[Desktop Entry]\nType=Application\nName=Viewer\nExec=viewer\nStartupWMClass=Fixture-Viewer\n' \
  >"$work/system/applications/org.example.Viewer.desktop"
printf '[Desktop Entry]\nType=Application\nName=Tool\nExec=tool\n' >"$work/system/applications/tool.desktop"
cp "$named" "$work/named/named"
printf '[Desktop Entry]\nType=Application\nName=Named\nExec=%s\n' "$work/named/named" \
  >"$work/system/applications/org.example.Named.desktop"
# The shell answers on the bus a while after it takes clients, once it has looked for extensions;
# a loaded machine has seen it take half a minute.
shell_answers() {
  await 60 gdbus call --timeout 5 --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.gnome.Shell.Extensions.ListExtensions >/dev/null ||
    { echo "--- shell"; cat "$work/shell.log"; fail "GNOME Shell did not answer on the bus within 60 s"; }
}
start_gnome_shell
shell_answers
[ "$("$lister" --needs-new-login)" = false ] || fail "a new login is asked for an extension not installed"
install_extension "$extension" "$lister"
[ "$("$lister" --needs-new-login)" = true ] || fail "no new login is asked for the extension installed now"
echo "ok: the backend asks for a new login only for the extension installed during the session"

start_gnome_shell
shell_answers
[ "$("$lister" --needs-new-login)" = false ] || fail "a new login is asked at the login that runs the extension"
# The shell writes the setting after it answers.
await 10 sh -c "gsettings get org.gnome.shell enabled-extensions | grep -qF \"'$uuid'\"" ||
  fail "the backend did not turn the extension on: $(gsettings get org.gnome.shell enabled-extensions)"
echo "ok: at the next login the backend turns the extension on, and asks for no new login"

failed=0
row=0
# Starts the rest of the command line as a native Wayland client and checks that the backend
# adds exactly $1 once the window is shown.
check() {
  local expected="$1"
  shift
  row=$((row + 1))
  before="$("$lister" | sort)"
  env QT_QPA_PLATFORM=wayland "$@" >"$work/row-$row.log" 2>&1 &
  pids+=($!)
  await 20 grep -qx shown "$work/row-$row.log" || fail "row $row: no window: $(cat "$work/row-$row.log")"
  added_is() {
    added="$(comm -13 <(echo "$before") <("$lister" | sort) | tr '\n' ' ')"
    [ "${added% }" = "$expected" ]
  }
  if await 20 added_is; then
    echo "ok: gnome: ${*##*/} names $expected"
  else
    echo "not ok: gnome: ${*##*/} names '${added% }', not $expected"
    failed=1
  fi
  end_processes "${pids[-1]}"
}
window_client() {
  cp "$client" "$work/bin/client-$((row + 1))"
  echo "$work/bin/client-$((row + 1))" "$1"
}
check org.example.Named "$work/named/named" org.example.Named
check org.example.Named "$work/named/named" org.example.Claimed
check org.example.OnlyItsWindow $(window_client org.example.OnlyItsWindow)
check tool $(window_client tool)
check org.example.Viewer $(window_client Fixture-Viewer)

# A candidate who turns the extension off while the agent runs: the same scanner turns it on
# again, and a window shown since then names its application.
coproc LISTER { "$lister" --each-line; }
pids+=("$LISTER_PID")
scan() { local line; echo >&"${LISTER[1]}"; while read -r line <&"${LISTER[0]}"; do [ "$line" = . ] && return 0; echo "$line"; done; }
scan >/dev/null
turned_off() {
  gdbus call --timeout 5 --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.gnome.Shell.Extensions.DisableExtension "$uuid" >/dev/null &&
    gdbus call --timeout 5 --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
      --method org.freedesktop.DBus.NameHasOwner com.qolvi.DesktopAgent.Windows | grep -q false
}
await 10 turned_off || fail "the extension could not be turned off: $(gsettings get org.gnome.shell enabled-extensions), $(gdbus call --timeout 5 --session --dest org.gnome.Shell --object-path /org/gnome/Shell --method org.gnome.Shell.Extensions.GetExtensionInfo "$uuid" | grep -o "'state': <[^>]*>")"
env QT_QPA_PLATFORM=wayland $(window_client org.example.SinceTurnedOff) >"$work/turned-off.log" 2>&1 &
pids+=($!)
await 20 grep -qx shown "$work/turned-off.log" || fail "no window: $(cat "$work/turned-off.log")"
names_since_turned_off() { scan >"$work/scan.out" && grep -qx org.example.SinceTurnedOff "$work/scan.out"; }
if await 20 names_since_turned_off; then
  echo "ok: gnome: the extension turned off is turned on again, and a window since then names its application"
else
  echo "not ok: gnome: with the extension turned off, a window since then names nothing"
  failed=1
fi
[ "$failed" = 0 ] || fail "some rows name other applications"
echo "PASS: GNOME Shell's windows name what only they name, never what a program names"
