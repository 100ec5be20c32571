#!/usr/bin/env bash
# End to end: the real agent in an X server, driven as a candidate would, against the real local
# exam service. Usage: e2e_agent.sh AGENT SERVICE LOCAL_CA_DIR PORT
set -euo pipefail

agent="$1" service="$2" ca="$3" port="$4"
source "$(dirname "${BASH_SOURCE[0]}")/../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; echo "--- agent"; cat "$work/agent.log" || true; echo "--- service"; cat "$work/service.log" || true; exit 1; }
# The number of agent lines that match a pattern.
count() { grep -c "$1" "$work/agent.log" || true; }
at_least() { [ "$(count "$1")" -ge "$2" ]; }

start_xvfb

# The agent and a program the service denies are desktop applications of their own.
cp /bin/sleep "$work/denied-tool"
printf '[Desktop Entry]\nType=Application\nName=Agent\nExec=%s\n' "$agent" >"$work/data/applications/com.qolvi.DesktopAgent.desktop"
printf '[Desktop Entry]\nType=Application\nName=Denied\nExec=%s\n' "$work/denied-tool" >"$work/data/applications/org.qolvi.DeniedTool.desktop"
provide_browser
# The number of key submissions the service has answered; whether so many have come.
submissions() { grep -c "POST /tr/exam/InitDesktop 200" "$work/service.log" || true; }
submitted() { [ "$(submissions)" -eq "$1" ]; }

"$service" --port "$port" --tls-cert "$ca/server.pem" --tls-key "$ca/server.key" \
  --deny org.qolvi.DeniedTool >"$work/service.log" 2>&1 &
pids+=($!)
await 10 grep -q listening "$work/service.log" || fail "the service did not start"

"$agent" >"$work/agent.log" 2>&1 &
agent_pid=$!
pids+=($agent_pid)
await 15 xdotool search --name "^Qolvi Desktop Agent$" >/dev/null 2>&1 || fail "no window"
window="$(xdotool search --name "^Qolvi Desktop Agent$" | head -n 1)"
xdotool windowfocus --sync "$window" 2>/dev/null || true
# The icon comes once the first frame is on screen.
await 5 sh -c "xprop -id $window _NET_WM_ICON | grep -q 'Icon (64 x 64)'" || fail "the window has no icon"
[ ! -s "$work/agent.log" ] || fail "the agent wrote something before a key was submitted"
# It opens at the least size it gives the window manager, which holds it there.
least="$(xprop -id "$window" WM_NORMAL_HINTS | sed -n 's/.*minimum size: \([0-9]*\) by \([0-9]*\)/\1x\2/p')"
size="$(xdotool getwindowgeometry "$window" | sed -n 's/ *Geometry: //p')"
[ -n "$least" ] && [ "$least" = "$size" ] || fail "the window opened at $size, its least size is '$least'"

# A second launch hands over to the running agent and ends at once, saying nothing.
second="$(timeout 10 "$agent" 2>&1)" || fail "a second launch did not end cleanly"
[ -z "$second" ] || fail "a second launch wrote: $second"

# The service answers a body it cannot read with 400, and goes on serving.
status="$(curl -s -o /dev/null -w '%{http_code}' --cacert "$ca/ca.pem" --data 9E900 "https://127.0.0.1:$port/tr/exam/InitDesktop")"
[ "$status" = 400 ] || fail "the service answered $status to a number beyond a double"

# Typed into the focused field, Return submits nothing; Tab to the button and Space presses it.
# A wrong key is refused and the keyboard goes back to the field; then the demo key.
xdotool type --delay 30 "WRONG-KEY"
xdotool key Return
sleep 1
submitted 0 || fail "Return submitted the key"
xdotool key Tab space
await 10 grep -q "refused key" "$work/service.log" || fail "the wrong key was not refused"
await 5 grep -q "^Status Code: 200 for initAgent$" "$work/agent.log" || fail "no answer to the wrong key"
xdotool key shift+Tab ctrl+a
xdotool type --delay 30 "QOLVI-DEMO-2026"
xdotool key Tab space
await 10 at_least "^Status Code: 200 for initAgent$" 2 || fail "the key was not accepted"

# Connected, the keyboard is on BEGIN THE EXAM: Space opens the exam site, and no key on
# the keyboard sends the key again.
xdotool key space
await 5 grep -qsx "https://127.0.0.1:$port" "$work/opened" || fail "Space did not open the exam site"
xdotool key Tab space Tab space

# A report every 3 seconds, naming the agent itself.
await 5 grep -q '^Sending: CheckAgent(AccessKey: "QOLVI-DEMO-2026", ProcessNames: \[.*"com.qolvi.DesktopAgent".*\])$' "$work/agent.log" \
  || fail "no report within one interval"
await 5 at_least '^Status Code: 200 for checkAgent$' 2 || fail "no second report"
sleep 6.2
reports=$(count '^Sending: ')
[ "$reports" -ge 3 ] && [ "$reports" -le 5 ] || fail "$reports reports in about 9 seconds"
submitted 2 || fail "the key was sent again while connected"

# CONNECTED shows in mint.
import -window "$window" "$work/connected.png"
convert "$work/connected.png" -fill black +opaque '#45C4A0' -fill white -opaque '#45C4A0' -format '%[fx:mean*w*h]' info: >"$work/mint"
[ "$(printf '%.0f' "$(cat "$work/mint")")" -gt 200 ] || fail "no mint on the connected screen"

# Starting a denied program ends the connection with the service's message on a banner.
"$work/denied-tool" 600 &
pids+=($!)
await 10 grep -q "refused org.qolvi.DeniedTool" "$work/service.log" || fail "the denied program was not reported"
sleep 0.5
import -window "$window" "$work/refused.png"
convert "$work/refused.png" -fill black +opaque '#A62A4C' -fill white -opaque '#A62A4C' -format '%[fx:mean*w*h]' info: >"$work/crimson"
[ "$(printf '%.0f' "$(cat "$work/crimson")")" -gt 200 ] || fail "the key button did not come back"
# The banner: rose at 85 % over the light background.
convert "$work/refused.png" -fuzz 2% -fill black +opaque '#E5787F' -fill white -opaque '#E5787F' -format '%[fx:mean*w*h]' info: >"$work/rose"
[ "$(printf '%.0f' "$(cat "$work/rose")")" -gt 500 ] || fail "no banner after the refusal"
if [ -n "${QOLVI_E2E_SCREENSHOTS:-}" ]; then cp "$work/connected.png" "$work/refused.png" "$QOLVI_E2E_SCREENSHOTS/"; fi
lines_after=$(count '^Sending: ')
sleep 3.5
[ "$(count '^Sending: ')" -eq "$lines_after" ] || fail "reports went on after the refusal"
# The keyboard is back in the key field: what is typed goes into the key sent next.
xdotool type "Z"
xdotool key Tab space
await 10 submitted 3 || fail "the key button could not be reached"
[ "$(grep -c 'refused key' "$work/service.log")" -eq 2 ] || fail "the keyboard did not return to the key field"

# A crash leaves the single-instance lock and socket behind; the next launch opens its window.
kill -KILL "$agent_pid"
wait "$agent_pid" 2>/dev/null || true
"$agent" >>"$work/agent.log" 2>&1 &
agent_pid=$!
pids+=($agent_pid)
await 15 xdotool search --pid "$agent_pid" --name "^Qolvi Desktop Agent$" >/dev/null 2>&1 || fail "no window after a crash"
window="$(xdotool search --pid "$agent_pid" --name "^Qolvi Desktop Agent$" | head -n 1)"
await 5 sh -c "xprop -id $window _NET_WM_ICON | grep -q 'Icon (64 x 64)'" || fail "no first frame after a crash"

kill -TERM "$agent_pid"
wait "$agent_pid" || fail "the agent did not quit cleanly"
stray="$(grep -vE '^(Sending: |Status Code: |Error: )' "$work/agent.log" || true)"
[ -z "$stray" ] || fail "the console has lines of no exchange: $stray"
echo "e2e: connected, $reports reports, refused on the denied program, quit cleanly"
sed "s/^/  agent: /" "$work/agent.log"
