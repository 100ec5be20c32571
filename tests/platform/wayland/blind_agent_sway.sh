#!/usr/bin/env bash
# The real agent on sway, started where it cannot see the session as a candidate would start it to
# pass the check of the display's listener: in a PID namespace of its own behind a relay of the
# compositor's socket started inside it, with no bus. sway then names the relay as the owner of
# the agent's window: the key button shows the danger banner and sends nothing. The same agent
# started on sway's own socket connects. The relay passes descriptors, as a Wayland client's
# buffers need.
# Usage: blind_agent_sway.sh AGENT SERVICE LOCAL_CA_DIR PORT
set -euo pipefail

agent="$1" service="$2" ca="$3" port="$4"
source "$(dirname "${BASH_SOURCE[0]}")/../../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; for log in blind.out blind.err agent.log service.log sway.log; do echo "--- $log"; cat "$work/$log" || true; done; exit 1; }
source "$(dirname "${BASH_SOURCE[0]}")/compositors.sh"
agent="$(reachable_copy "$agent")" relay="$(reachable_copy "$(dirname "${BASH_SOURCE[0]}")/wayland_relay.py")"

"$service" --port "$port" --tls-cert "$ca/server.pem" --tls-key "$ca/server.key" >"$work/service.log" 2>&1 &
pids+=($!)
await 10 grep -q listening "$work/service.log" || fail "the service did not start"
requests() { grep -c '^[A-Z]* /' "$work/service.log" || true; }
start_sway
mkdir -m 700 "$work/relay-runtime"
chown "$wayland_uid:$wayland_uid" "$work/relay-runtime"

# Pixels of one colour in the compositor's picture of the screen.
pixels_of() {
  "$as_user" grim "$work/home/shot.png" 2>/dev/null || return 1
  convert "$work/home/shot.png" -fuzz 2% -fill black +opaque "$1" -fill white -opaque "$1" -format '%[fx:int(mean*w*h+0.5)]' info:
}
drawn() { local pixels; pixels="$(pixels_of '#A62A4C')" && [ "$pixels" -gt 5000 ]; }
banner_shows() { local pixels; pixels="$(pixels_of '#E5787F')" && [ "$pixels" -gt 500 ]; }
# A new virtual keyboard's first key goes before the compositor has its keymap: a Shift, then.
press_key_button() { "$as_user" wtype -d 30 -k Shift_L "QOLVI-DEMO-2026" -k Tab -k space; }

# unshare as root, then the user: no user namespace, which the agent refuses for its own sake.
# One relay serves the compositor's socket and sway's IPC socket, so that the IPC socket's
# listener is the display's, as the agent requires before it believes what the IPC says.
unshare --pid --fork --mount-proc "$as_user" sh -c '
  "$4" "$1/wayland-relay" "$2" "$1/sway-relay" "$SWAYSOCK" &
  for _ in $(seq 100); do [ -S "$1/sway-relay" ] && break; sleep 0.1; done
  exec env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$1" WAYLAND_DISPLAY=wayland-relay SWAYSOCK="$1/sway-relay" QT_QPA_PLATFORM=wayland "$3"' \
  relay "$work/relay-runtime" "$work/wayland/$WAYLAND_DISPLAY" "$agent" "$relay" \
  >"$work/blind.out" 2>"$work/blind.err" &
blind=$!
pids+=($blind)
await 15 drawn || fail "the agent in the namespace shows no window"
! banner_shows || fail "a banner shows before the key button was pressed"
press_key_button
await 5 banner_shows || fail "the key button showed no danger banner"
[ ! -s "$work/blind.out" ] || fail "the agent that cannot see wrote to its console"
kill -TERM "$(cat "/proc/$blind/task/$blind/children")"
wait "$blind" || fail "the agent in the namespace did not quit cleanly"
await 5 sh -c "! drawn" || fail "the window of the agent in the namespace stayed"

"$as_user" env QT_QPA_PLATFORM=wayland "$agent" >"$work/agent.log" 2>&1 &
pids+=($!)
await 15 drawn || fail "the agent beside the session shows no window"
press_key_button
await 10 grep -q "^Status Code: 200 for initAgent$" "$work/agent.log" || fail "the agent beside the session did not connect"
await 5 grep -q "POST /tr/exam/InitDesktop 200 accepted" "$work/service.log" || fail "the service logged no key"
[ "$(requests)" -eq 1 ] || fail "an agent that cannot see sent a request"
echo "PASS: on sway the agent behind a relayed socket in a PID namespace showed the banner and sent nothing; beside the session it connected"
