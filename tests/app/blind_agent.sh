#!/usr/bin/env bash
# The real agent started where it cannot see the session: in a PID namespace of its own with a
# /proc of its own, as a container or a sandbox starts it. Its key button shows the danger banner
# and sends nothing; the same agent started beside the session connects.
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

unshare --user --pid --fork --mount-proc "$agent" >"$work/blind.out" 2>"$work/blind.err" &
blind=$!
pids+=($blind)
await 15 xdotool search --name "^Qolvi Desktop Agent$" >/dev/null 2>&1 || fail "the agent in a namespace of its own shows no window"
window="$(xdotool search --name "^Qolvi Desktop Agent$" | head -n 1)"
await 5 sh -c "xprop -id $window _NET_WM_ICON | grep -q 'Icon (64 x 64)'" || fail "no first frame"
! banner_shows "$window" || fail "a banner shows before the key button was pressed"
press_key_button "$window"
await 5 banner_shows "$window" || fail "the key button showed no danger banner"
[ ! -s "$work/blind.out" ] || fail "the agent that cannot see wrote to its console"
# It ends as cleanly as ever; unshare ends with it.
kill -TERM "$(cat "/proc/$blind/task/$blind/children")"
wait "$blind" || fail "the agent in a namespace of its own did not quit cleanly"

"$agent" >"$work/agent.log" 2>&1 &
pids+=($!)
await 15 xdotool search --pid "$!" --name "^Qolvi Desktop Agent$" >/dev/null 2>&1 || fail "no window outside the namespace"
window="$(xdotool search --pid "$!" --name "^Qolvi Desktop Agent$" | head -n 1)"
press_key_button "$window"
await 10 grep -q "^Status Code: 200 for initAgent$" "$work/agent.log" || fail "the agent beside the session did not connect"
# Once the seeing agent's key is in, the service has had whatever the blind one sent.
await 5 grep -q "POST /tr/exam/InitDesktop 200 accepted" "$work/service.log" || fail "the service logged no key"
[ "$(requests)" -eq 1 ] || fail "the agent that cannot see sent a request"
echo "PASS: the agent in a PID namespace of its own showed the banner and sent nothing; beside the session it connected"
