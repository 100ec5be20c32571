#!/usr/bin/env bash
# The native Wayland window source against real compositors, headless: what it lists on sway
# (application IDs from the foreign-toplevel protocol, PIDs from sway's IPC) as real native
# clients come and go while it stays connected, and that weston gives no source.
# Usage: wayland_toplevels.sh LIST_TOPLEVELS WAYLAND_WINDOW_CLIENT
set -euo pipefail

lister="$1" client="$2"
source "$(dirname "${BASH_SOURCE[0]}")/../../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "${BASH_SOURCE[0]}")/compositors.sh"
source "$(dirname "${BASH_SOURCE[0]}")/watching.sh"
lister="$(reachable_copy "$lister")" client="$(reachable_copy "$client")"

# sway offers the newer protocol from 1.10 on, and the source then takes it.
protocol=zwlr_foreign_toplevel_manager_v1
if dpkg --compare-versions "$(sway --version | awk '{ print $3 }')" ge 1.10; then
  protocol=ext_foreign_toplevel_list_v1
fi
start_sway
watch_windows "$lister" "source: $protocol, pids: sway-ipc"
echo "ok: sway gives its foreign-toplevel list and PIDs through its IPC"
expect_list "no windows yet" ""

# A small real Debian terminal, whose ID its package's entry has; then a client whose ID only
# its window gives.
"$as_user" foot --app-id=foot sleep 600 >"$work/foot.log" 2>&1 &
foot=$!
pids+=($foot)
expect_list "a real terminal appears with its PID" "foot $foot"
"$as_user" env QT_QPA_PLATFORM=wayland "$client" org.example.OnlyItsWindow 2 >"$work/client.log" 2>&1 &
client_pid=$!
pids+=($client_pid)
expect_list "two windows of another process appear after it" \
  "$(printf 'foot %s\norg.example.OnlyItsWindow %s\norg.example.OnlyItsWindow %s' "$foot" "$client_pid" "$client_pid")"
expect_same_list_at_once "$lister"

kill "$foot"
expect_list "the closed terminal is gone, the other windows stay" \
  "$(printf 'org.example.OnlyItsWindow %s\norg.example.OnlyItsWindow %s' "$client_pid" "$client_pid")"
kill "$client_pid"
expect_list "no windows once both closed" ""

kill "$compositor_pid"
await 10 sh -c "! kill -0 $watcher 2>/dev/null" || fail "the lister did not notice that sway ended"
echo "ok: the lister ends with the compositor"

start_weston
weston_gives="$("$as_user" "$lister" || true)"
[ "$weston_gives" = "source: none" ] || fail "weston gave '$weston_gives'"
echo "ok: weston lists no windows, so there is no source"
echo "PASS: sway's windows with their PIDs as they come and go; none from weston"
