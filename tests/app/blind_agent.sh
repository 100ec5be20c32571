#!/usr/bin/env bash
# The real agent started where it cannot see the session: in a PID namespace of its own with a
# /proc of its own, as a container or a sandbox starts it, alone or behind a relay of the X socket
# inside the namespace. Its key button shows the danger banner and sends nothing; the same agent
# started beside the session connects.
# Usage: blind_agent.sh AGENT SERVICE LOCAL_CA_DIR PORT
set -euo pipefail

agent="$1" service="$2" ca="$3" port="$4"
source "$(dirname "${BASH_SOURCE[0]}")/../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; for log in blind.out blind.err agent.log service.log; do echo "--- $log"; cat "$work/$log" || true; done; exit 1; }

start_xvfb
"$service" --port "$port" --tls-cert "$ca/server.pem" --tls-key "$ca/server.key" >"$work/service.log" 2>&1 &
pids+=($!)
await 10 grep -q listening "$work/service.log" || fail "the service did not start"
# Every request the service has had: it writes one line for each.
requests() { grep -c '^[A-Z]* /' "$work/service.log" || true; }

# A display number no server has, for a relay of the test's X socket.
relayed=5000
while [ -e "/tmp/.X11-unix/X$relayed" ]; do relayed=$((relayed + 1)); done
relay_socket="/tmp/.X11-unix/X$relayed"
mkdir -m 700 "$work/relay-runtime"
after_processes_end() { rm -f "$relay_socket"; }
# How the agent is started in a PID namespace of its own: alone, or as a candidate would to make
# the display's listener one of the namespace's and skip the bus: with the X socket relayed
# inside the namespace and no bus address (a runtime folder of its own, with no bus in it), and
# no user namespace, as a setuid sandbox makes it (the agent refuses any user namespace for its
# own sake). A relay passes no descriptors, so the window draws without shared memory.
alone() { exec unshare --user --pid --fork --mount-proc "$agent"; }
behind_relay() {
  exec unshare --pid --fork --mount-proc sh -c '
    socat "UNIX-LISTEN:$1,fork" "ABSTRACT-CONNECT:/tmp/.X11-unix/X$2" &
    for _ in $(seq 100); do [ -S "$1" ] && break; sleep 0.1; done
    exec env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$5" QT_XCB_NO_MITSHM=1 DISPLAY=":$3" "$4"' \
    relay "$relay_socket" "${DISPLAY#:}" "$relayed" "$agent" "$work/relay-runtime"
}
for start in alone behind_relay; do
  name="started $start"
  "$start" >"$work/blind.out" 2>"$work/blind.err" &
  blind=$!
  pids+=($blind)
  await 15 xdotool search --name "^Qolvi Desktop Agent$" >/dev/null 2>&1 || fail "$name: the agent shows no window"
  window="$(xdotool search --name "^Qolvi Desktop Agent$" | head -n 1)"
  await 5 sh -c "xprop -id $window _NET_WM_ICON | grep -q 'Icon (64 x 64)'" || fail "$name: no first frame"
  ! banner_shows "$window" || fail "$name: a banner shows before the key button was pressed"
  press_key_button "$window"
  await 5 banner_shows "$window" || fail "$name: the key button showed no danger banner"
  [ ! -s "$work/blind.out" ] || fail "$name: the agent that cannot see wrote to its console"
  # It ends as cleanly as ever; unshare ends with it.
  kill -TERM "$(cat "/proc/$blind/task/$blind/children")"
  wait "$blind" || fail "$name: the agent did not quit cleanly"
done

"$agent" >"$work/agent.log" 2>&1 &
pids+=($!)
await 15 xdotool search --pid "$!" --name "^Qolvi Desktop Agent$" >/dev/null 2>&1 || fail "no window outside the namespace"
window="$(xdotool search --pid "$!" --name "^Qolvi Desktop Agent$" | head -n 1)"
press_key_button "$window"
await 10 grep -q "^Status Code: 200 for initAgent$" "$work/agent.log" || fail "the agent beside the session did not connect"
# Once the seeing agent's key is in, the service has had whatever the blind one sent.
await 5 grep -q "POST /tr/exam/InitDesktop 200 accepted" "$work/service.log" || fail "the service logged no key"
[ "$(requests)" -eq 1 ] || fail "an agent that cannot see sent a request"
echo "PASS: the agent in a PID namespace of its own, alone or behind a relayed X socket, showed the banner and sent nothing; beside the session it connected"
