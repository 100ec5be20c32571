#!/usr/bin/env bash
# The real agent as a screen reader meets it: on the session's accessibility bus under X, against
# the local exam service, with the banner checked by tests/app/atspi_banner.py.
# Usage: a11y_agent.sh AGENT SERVICE LOCAL_CA_DIR PORT
set -euo pipefail

agent="$1" service="$2" ca="$3" port="$4"
source "$(dirname "${BASH_SOURCE[0]}")/../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; echo "--- agent"; cat "$work/agent.log" || true; exit 1; }

start_xvfb
"$service" --port "$port" --tls-cert "$ca/server.pem" --tls-key "$ca/server.key" >"$work/service.log" 2>&1 &
pids+=($!)
await 10 grep -q listening "$work/service.log" || fail "the service did not start"
# As when a screen reader runs: Qt then serves its accessibility tree on the bus.
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$agent" >"$work/agent.log" 2>&1 &
pids+=($!)
await 15 xdotool search --name "^Qolvi Desktop Agent$" >/dev/null 2>&1 || fail "no window"
/usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/atspi_banner.py" || fail "the banner is not what assistive technology needs"
