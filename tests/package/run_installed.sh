#!/usr/bin/env bash
# The installed agent started under X against the local exam service, in isolation: its window
# must map with the desktop entry's class. Usage: run_installed.sh PORT (from the tree's top,
# after a dev configure and build of the service)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; for log in "$work"/*.log; do echo "--- $log"; cat "$log"; done; exit 1; }
port="$1"

start_xvfb
build/dev/tools/qolvi-exam-service --port "$port" --tls-cert build/dev/local-ca/server.pem \
  --tls-key build/dev/local-ca/server.key >"$work/service.log" 2>&1 &
pids+=($!)
/usr/bin/qolvi-desktop-agent >"$work/agent.log" 2>&1 &
pids+=($!)
window=""
find_window() { window="$(xdotool search --onlyvisible --class '^com\.qolvi\.DesktopAgent$' 2>/dev/null | head -n 1)"; [ -n "$window" ]; }
await 20 find_window || fail "the installed agent's window did not map"
xprop -id "$window" WM_CLASS | tee "$work/wmclass.log"
grep -q '"com.qolvi.DesktopAgent"' "$work/wmclass.log" || fail "wrong window class"
