#!/usr/bin/env bash
# The real agent as an unprivileged candidate could start it to change what it reports, while a
# program the service denies runs: each way that brings code or a tracer into the agent gets
# the danger banner from the key button and sends nothing; a debugger attached to the running
# agent is refused, and the agent still reports the denied program. The plain agent of the
# same build reports it. Usage: changed_agent.sh AGENT SERVICE LOCAL_CA_DIR PORT HIDE_LIBRARY
set -euo pipefail

agent="$1" service="$2" ca="$3" port="$4" hide="$5"
source "$(dirname "${BASH_SOURCE[0]}")/../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; for log in agent.log debugger.log service.log; do echo "--- $log"; cat "$work/$log" || true; done; exit 1; }

make_candidate
agent="$(reachable_copy "$agent")"
# Under AddressSanitizer a preloaded library must not end the agent before it can refuse it.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
# What the candidate brings: the library, and a plugin of the system's in a folder of theirs.
cp "$hide" "$work/home/hide.so"
mkdir -p "$work/home/plugins/platforms" "$work/home/late-plugins/tls"
cp /usr/lib/*/qt6/plugins/platforms/libqxcb.so "$work/home/plugins/platforms/"
# Qt loads its TLS plugins only when a first exchange needs them, after the window is up.
cp /usr/lib/*/qt6/plugins/tls/libqopensslbackend.so "$work/home/late-plugins/tls/"
chown -R "$candidate:$candidate" "$work/home"
cp /bin/sleep "$work/denied-tool"
printf '[Desktop Entry]\nType=Application\nName=Denied\nExec=%s\n' "$work/denied-tool" >"$work/data/applications/org.qolvi.DeniedTool.desktop"

start_xvfb
"$service" --port "$port" --tls-cert "$ca/server.pem" --tls-key "$ca/server.key" \
  --deny org.qolvi.DeniedTool >"$work/service.log" 2>&1 &
pids+=($!)
await 10 grep -q listening "$work/service.log" || fail "the service did not start"
"$as_candidate" "$work/denied-tool" 600 &
pids+=($!)
keys() { grep -c "POST /tr/exam/InitDesktop" "$work/service.log" || true; }
denials() { grep -c "refused org.qolvi.DeniedTool" "$work/service.log" || true; }

# The one agent window there is; rows run one agent at a time.
agent_window() { xdotool search --name "^Qolvi Desktop Agent$" | head -n 1; }
# The agent itself: the program started, or the one child of a tracer that started it.
agent_of() {
  local children
  children="$(cat "/proc/$1/task/$1/children" 2>/dev/null || true)"
  [ "$(cat "/proc/$1/comm")" = strace ] && echo "$children" || echo "$1"
}
debugger_refused() {
  ! "$as_candidate" gdb -batch -nx -p "$1" -ex detach >"$work/debugger.log" 2>&1 &&
    grep -q "ptrace: Operation not permitted" "$work/debugger.log"
}

# Each row: what the candidate does, how the agent is started, and what follows: the banner and
# nothing sent, or the denied program reported.
rows=("a library preloaded|env LD_PRELOAD=$work/home/hide.so $agent|refused")
# AddressSanitizer cannot lay out its memory under an auditor: its build leaves that row out.
[[ "$(ldd "$agent")" == *libasan* ]] ||
  rows+=("an auditing library|env LD_AUDIT=$work/home/hide.so $agent|refused")
rows+=("a Qt plugin in the candidate's folder|env QT_PLUGIN_PATH=$work/home/plugins $agent|refused")
rows+=("a TLS plugin in the candidate's folder|env QT_PLUGIN_PATH=$work/home/late-plugins $agent|refused")
# Where Yama restricts tracing, the kernel itself keeps the candidate's debugger out (1 and 2),
# or any tracer (3): those rows would pass whatever the agent does.
ptrace_scope="$(cat /proc/sys/kernel/yama/ptrace_scope 2>/dev/null || echo 0)"
skipped=()
[ "$ptrace_scope" -lt 3 ] && rows+=("started under strace|strace -f -o /dev/null $agent|refused") ||
  skipped+=("started under strace")
[ "$ptrace_scope" -lt 1 ] && rows+=("a debugger attached as the same user|$agent|debugged") ||
  skipped+=("a debugger attached")
rows+=("nothing changed|$agent|reports")
expected_keys=0
for row in "${rows[@]}"; do
  IFS='|' read -r name command outcome <<<"$row"
  read -ra started <<<"$command"
  "$as_candidate" "${started[@]}" >"$work/agent.log" 2>&1 &
  launched=$!
  await 15 agent_window >/dev/null 2>&1 || fail "$name: no window"
  window="$(agent_window)"
  await 5 sh -c "xprop -id $window _NET_WM_ICON | grep -q 'Icon (64 x 64)'" || fail "$name: no first frame"
  if [ "$outcome" = debugged ]; then
    debugger_refused "$launched" || fail "$name: the debugger was not refused"
    outcome=reports
  fi
  press_key_button "$window"
  if [ "$outcome" = refused ]; then
    await 5 banner_shows "$window" || fail "$name: the key button showed no danger banner"
    [ ! -s "$work/agent.log" ] || fail "$name: the agent wrote to its console"
  else
    expected_keys=$((expected_keys + 1))
    await 10 grep -q "^Status Code: 200 for initAgent$" "$work/agent.log" || fail "$name: the agent did not connect"
    await 10 test "$(denials)" -eq "$expected_keys" || fail "$name: the denied program was not reported"
  fi
  kill -TERM "$(agent_of "$launched")"
  wait "$launched" || fail "$name: the agent did not quit cleanly"
done
# Once the reporting agents' keys are in, the service has had whatever the others sent.
[ "$(keys)" -eq "$expected_keys" ] || fail "an agent that cannot vouch for itself sent a key"
if [ ${#skipped[@]} -gt 0 ]; then
  echo "SKIP: ${skipped[*]}: Yama's ptrace_scope $ptrace_scope forbids it; the other rows passed"
  exit 77
fi
echo "PASS: preloaded, audited, plugged-in (at start or with the first key) and traced agents sent nothing; a debugger was refused; the agents that report named the denied program"
