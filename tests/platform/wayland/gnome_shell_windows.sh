#!/usr/bin/env bash
# The project's GNOME Shell extension in a real headless GNOME Shell, read by the window source:
# the extension tells the one program it answers each window's own ID, its owner's PID and the
# entry GNOME tracks it by, says when the windows change, and refuses the same program at
# another path. The lister stands in for the installed agent: the test's copy of the extension
# answers it.
# Usage: gnome_shell_windows.sh EXTENSION_DIR MODULE_EXTENSION_DIR LIST_TOPLEVELS WAYLAND_WINDOW_CLIENT
# (the extension for GNOME Shell 43 and 44, and the module form that later ones load).
set -euo pipefail

if [ "$(id -u)" -ne 0 ] || [ "$(awk '{print $3}' /proc/self/uid_map)" != 4294967295 ]; then
  echo "SKIP: hiding the machine's logind from GNOME Shell needs the real root"
  exit 77
fi
# GNOME Shell asks logind for its session when the machine has one, and that needs a real
# login; where none is seen it carries on without. A mount namespace hides it.
if [ -z "${QOLVI_LOGIND_HIDDEN:-}" ]; then
  QOLVI_LOGIND_HIDDEN=1 exec unshare --mount -- bash -c \
    'mount -t tmpfs tmpfs /run/systemd && exec bash "$@"' hidden "$0" "$@"
fi

extension="$(realpath "$1")" lister="$(realpath "$3")" client="$4"
if [ "$(gnome-shell --version | sed -E 's/[^0-9]*([0-9]+).*/\1/')" -ge 45 ]; then
  extension="$(realpath "$2")"
fi
source "$(dirname "${BASH_SOURCE[0]}")/../../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "${BASH_SOURCE[0]}")/watching.sh"
# GNOME Shell and its clients run as the test's own user here.
as_user=env
export HOME="$work/home"
mkdir -p "$HOME"

# A system bus of the test's own, on which nothing answers: the shell's power and network
# indicators then show nothing instead of ending the shell's start.
dbus-daemon --session --address="unix:path=$work/system_bus" --nofork --nopidfile >"$work/system_bus.log" 2>&1 &
pids+=($!)
await 10 test -S "$work/system_bus" || fail "no system bus"
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/system_bus"

uuid=windows@desktop-agent.qolvi.com
mkdir -p "$XDG_DATA_HOME/gnome-shell/extensions/$uuid"
cp "$extension/metadata.json" "$XDG_DATA_HOME/gnome-shell/extensions/$uuid/"
sed "s|'/usr/bin/qolvi-desktop-agent'|'$lister'|" "$extension/extension.js" \
  >"$XDG_DATA_HOME/gnome-shell/extensions/$uuid/extension.js"
# The services the bus starts for the shell (settings, accessibility, calendar) get the test's
# home too.
dbus-update-activation-environment HOME
gsettings set org.gnome.shell enabled-extensions "['$uuid']"
# An entry for the application that only its window names, for GNOME to track it by.
printf '[Desktop Entry]\nType=Application\nName=Only its window\nExec=%s\n' "$(realpath "$client")" \
  >"$XDG_DATA_HOME/applications/org.example.OnlyItsWindow.desktop"

gnome-shell --headless --wayland --virtual-monitor 1280x800 --wayland-display wayland-gnome >"$work/shell.log" 2>&1 &
pids+=($!)
export WAYLAND_DISPLAY=wayland-gnome
header="source: com.qolvi.DesktopAgent.Windows, pids: extension"
lister_connects() { [ "$("$lister" | head -n 1)" = "$header" ]; }
await 30 lister_connects || { cat "$work/shell.log"; "$lister" || true; fail "the extension does not answer"; }
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
echo "PASS: GNOME Shell's windows through the extension, for its program only"
