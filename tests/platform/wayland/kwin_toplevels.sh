#!/usr/bin/env bash
# The native Wayland window source against a real headless KWin: its window management
# protocol, which it offers only to a program an installed desktop entry lists with the
# interface, gives each window's application ID and PID as real native clients come and go.
# Usage: kwin_toplevels.sh LIST_TOPLEVELS WAYLAND_WINDOW_CLIENT
set -euo pipefail

lister="$(realpath "$1")" client="$2"
source "$(dirname "${BASH_SOURCE[0]}")/../../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "${BASH_SOURCE[0]}")/compositors.sh"
source "$(dirname "${BASH_SOURCE[0]}")/watching.sh"

# The entry that lets the lister bind the protocol, where KWin looks for the user's entries.
mkdir -p "$work/home/.local/share/applications"
printf '[Desktop Entry]\nType=Application\nName=Lister\nExec=%s\nNoDisplay=true\nX-KDE-Wayland-Interfaces=org_kde_plasma_window_management\n' \
  "$lister" >"$work/home/.local/share/applications/org.example.Lister.desktop"
chown -R "$wayland_uid:$wayland_uid" "$work/home/.local"
# The same program at a path no entry lists.
cp "$lister" "$work/unlisted-lister"

start_kwin "$work/unlisted-lister"
watch_windows "$lister" "source: org_kde_plasma_window_management, pids: protocol"
echo "ok: KWin gives its window management protocol, with PIDs, to the listed program"
expect_list "no windows yet" ""
[ "$("$as_user" "$work/unlisted-lister")" = "source: none" ] ||
  fail "KWin gave a program no entry lists '$("$as_user" "$work/unlisted-lister")'"
echo "ok: KWin gives nothing to the same program at a path no entry lists"

# A small real Debian terminal; then a client whose ID only its window gives.
"$as_user" weston-terminal >"$work/terminal.log" 2>&1 &
terminal=$!
pids+=($terminal)
expect_list "a real terminal appears with its PID" "org.freedesktop.weston.wayland-terminal $terminal"
"$as_user" env QT_QPA_PLATFORM=wayland "$client" org.example.OnlyItsWindow 2 >"$work/client.log" 2>&1 &
client_pid=$!
pids+=($client_pid)
expect_list "two windows of another process appear after it" \
  "$(printf 'org.freedesktop.weston.wayland-terminal %s\norg.example.OnlyItsWindow %s\norg.example.OnlyItsWindow %s' \
    "$terminal" "$client_pid" "$client_pid")"
expect_same_list_at_once "$lister"

kill "$terminal"
expect_list "the closed terminal is gone, the other windows stay" \
  "$(printf 'org.example.OnlyItsWindow %s\norg.example.OnlyItsWindow %s' "$client_pid" "$client_pid")"
kill "$client_pid"
expect_list "no windows once both closed" ""

kill "$compositor_pid"
await 10 sh -c "! kill -0 $watcher 2>/dev/null" || fail "the lister did not notice that KWin ended"
echo "ok: the lister ends with the compositor"
echo "PASS: KWin's windows with their PIDs as they come and go, for the listed program only"
