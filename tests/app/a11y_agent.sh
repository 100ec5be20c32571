#!/usr/bin/env bash
# The real agent as a screen reader meets it: on the session's accessibility bus under X, against
# the local exam service, with the banner checked by tests/app/atspi_banner.py. The bus starts
# once the agent's window shows, as when a screen reader is started later; nothing tells the
# agent that assistive technology is on, as a tool that leaves org.a11y.Status alone does not.
# With "starts", the accessibility bus runs before the agent starts, 20 times on a busy machine.
# Usage: a11y_agent.sh AGENT SERVICE LOCAL_CA_DIR PORT [starts]
set -euo pipefail

agent="$1" service="$2" ca="$3" port="$4"
source "$(dirname "${BASH_SOURCE[0]}")/../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; echo "--- agent"; cat "$work/agent.log" || true; exit 1; }

start_xvfb
"$service" --port "$port" --accept QK-ATSPI-7 --tls-cert "$ca/server.pem" --tls-key "$ca/server.key" \
  >"$work/service.log" 2>&1 &
pids+=($!)
await 10 grep -q listening "$work/service.log" || fail "the service did not start"
if [ "${5:-}" = starts ]; then
  for _ in 1 2; do
    timeout 120 sh -c 'while :; do :; done' &
    pids+=($!)
  done
  address="$(timeout 10 gdbus call --session -d org.a11y.Bus -o /org/a11y/bus -m org.a11y.Bus.GetAddress)" ||
    fail "the accessibility bus did not start"
  address="${address#"('"}"
  AT_SPI_BUS_ADDRESS="${address%"',)"}" /usr/bin/python3 \
    "$(dirname "${BASH_SOURCE[0]}")/atspi_banner.py" --starts "$agent" 20 "unix:path=$work/gone-bus" ||
    fail "the agent did not join the accessibility bus that ran before it"
  exit 0
fi
bus_runs() {
  gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus -m org.freedesktop.DBus.NameHasOwner org.a11y.Bus |
    grep -q true
}
"$agent" >"$work/agent.log" 2>&1 &
pids+=($!)
await 15 xdotool search --name "^Qolvi Desktop Agent$" >/dev/null 2>&1 || fail "no window"
! bus_runs || fail "the accessibility bus ran before the agent's window showed"
timeout 10 gdbus call --session -d org.a11y.Bus -o /org/a11y/bus -m org.a11y.Bus.GetAddress >/dev/null ||
  fail "the accessibility bus did not start"
/usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/atspi_banner.py" QK-ATSPI-7 || fail "the banner is not what assistive technology needs"
await 10 grep -q "^POST /tr/exam/InitDesktop 200 accepted" "$work/service.log" ||
  fail "the key sent by the Press action did not reach the service: $(cat "$work/service.log")"
