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
install_extension "$extension" "$lister"
gsettings set org.gnome.shell enabled-extensions "['$uuid']"
# An entry for the application that only its window names, for GNOME to track it by.
printf '[Desktop Entry]\nType=Application\nName=Only its window\nExec=%s\n' "$(realpath "$client")" \
  >"$XDG_DATA_HOME/applications/org.example.OnlyItsWindow.desktop"
start_gnome_shell
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
