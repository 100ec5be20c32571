#!/usr/bin/env bash
# The real agent on a Wayland compositor with no X server: weston's headless backend, with the
# kiosk shell. A headless weston has no seat, and Qt 6.4 dereferences the missing seat when a
# text field is made and the compositor offers text input, as the desktop shell does; the kiosk
# shell offers none, and a desktop session always has a seat. Usage: wayland_agent.sh AGENT
set -euo pipefail

agent="$1"
source "$(dirname "${BASH_SOURCE[0]}")/../support/session.sh"
fail() { echo "FAIL: $*"; echo "--- weston"; cat "$work/weston.log"; echo "--- agent"; tail -n 40 "$work/agent.log"; exit 1; }

unset DISPLAY
weston --backend=headless-backend.so --shell=kiosk-shell.so --socket=wayland-qolvi --idle-time=0 \
  >"$work/weston.log" 2>&1 &
pids+=($!)
await 10 test -S "$XDG_RUNTIME_DIR/wayland-qolvi" || fail "weston did not start"

# The client's own protocol log shows what it asked of the compositor.
WAYLAND_DISPLAY=wayland-qolvi QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=1 "$agent" >"$work/agent.log" 2>&1 &
pids+=($!)
mapped() {
  grep -q 'set_app_id("com.qolvi.DesktopAgent")' "$work/agent.log" &&
    grep -A1000000 'ack_configure' "$work/agent.log" | grep -q 'wl_surface@[0-9]*\.attach(wl_buffer'
}
await 20 mapped || fail "the agent did not map its window on Wayland"
kill -0 "${pids[1]}" 2>/dev/null || fail "the agent ended"
echo "PASS: the agent maps its window on Wayland with app ID com.qolvi.DesktopAgent"
