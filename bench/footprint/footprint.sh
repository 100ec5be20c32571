#!/usr/bin/env bash
# The agent beside a bare Qt Quick Controls window under Xvfb: time to first pixels, resident
# memory once connected, and CPU while it reports every 3 seconds, as ratios to the bare window;
# then connected again on a Wayland session with 50 native windows.
# Usage: bench/footprint/footprint.sh [BUILD_DIR] (default build/bench; configure and build the
# bench preset first). Set ROUNDS and SECONDS_CONNECTED to change the run.
set -euo pipefail
# Both programs run in a network namespace of their own, so that the local exam service's port
# is free, and on a private message bus: a desktop session has one, and without it Qt tries to
# start one for each connection, a cost no candidate's computer has.
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/support/session.sh" --isolated "$@"

fail() { echo "$*" >&2; exit 1; }
build="${1:-build/bench}"
rounds="${ROUNDS:-7}"
connected_seconds="${SECONDS_CONNECTED:-60}"
agent="$build/qolvi-desktop-agent"
service="$build/tools/qolvi-exam-service"
firstpixels="$build/bench/footprint/firstpixels"
bare="$build/bench/footprint/barewindow"
for program in "$agent" "$service" "$firstpixels" "$bare"; do
  [ -x "$program" ] || fail "missing $program: cmake --preset bench && cmake --build --preset bench"
done

# A black root, so that the first pixels of a window show.
start_xvfb -br

"$service" --tls-cert "$build/local-ca/server.pem" --tls-key "$build/local-ca/server.key" >"$work/service.log" 2>&1 &
pids+=($!)
await 10 grep -q listening "$work/service.log" || fail "the local exam service did not start"

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Milliseconds from start to first pixels; the program is ended once they show.
first_pixels() {
  local pid ms
  read -r pid ms < <("$firstpixels" "$1" 2>>"$work/firstpixels.log")
  kill "$pid"; while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
  echo "$ms"
}
: >"$work/bare.ms"; : >"$work/agent.ms"
for _ in $(seq "$rounds"); do
  first_pixels "$bare" >>"$work/bare.ms"
  first_pixels "$agent" >>"$work/agent.ms"
done
bare_ms=$(median <"$work/bare.ms"); agent_ms=$(median <"$work/agent.ms")
# Each round's two starts ran back to back, so their ratio is free of the machine's slower spells.
paired_ratio=$(paste "$work/agent.ms" "$work/bare.ms" | awk '{ print $1 / $2 }' | median)

# All running: the agent connected with the demo key, the bare window idle, and the bare window
# that reports to the local exam service every 3 seconds as the agent does. The resident memory
# the agent adds to that floor must stay within the footprint bar.
bar_mb=6
connected() {
  local label="$1" agent_pid bare_pid posting_pid phase_pids=()
  "$bare" "https://127.0.0.1:47443/tr/exam/CheckApplication" "$build/local-ca/ca.pem" >/dev/null 2>&1 &
  posting_pid=$!; phase_pids+=($!)
  "$bare" >/dev/null 2>&1 &
  bare_pid=$!; phase_pids+=($!)
  "$agent" >"$work/agent.log" 2>&1 &
  agent_pid=$!; phase_pids+=($!)
  pids+=("${phase_pids[@]}")
  await 15 xdotool search --name "^Qolvi Desktop Agent$" >/dev/null 2>&1 || fail "no agent window"
  xdotool windowfocus --sync "$(xdotool search --name "^Qolvi Desktop Agent$" | head -n 1)" 2>/dev/null || true
  xdotool type --delay 20 "QOLVI-DEMO-2026"
  xdotool key Tab space
  await 10 grep -q "^Status Code: 200 for initAgent$" "$work/agent.log" || fail "the agent did not connect"
  sleep 4

  local reports_before agent_ticks bare_ticks posting_ticks reports agent_rss bare_rss posting_rss
  reports_before=$(grep -c '^Sending: ' "$work/agent.log")
  agent_ticks=$(ticks "$agent_pid"); bare_ticks=$(ticks "$bare_pid"); posting_ticks=$(ticks "$posting_pid")
  sleep "$connected_seconds"
  agent_ticks=$(( $(ticks "$agent_pid") - agent_ticks )); bare_ticks=$(( $(ticks "$bare_pid") - bare_ticks ))
  posting_ticks=$(( $(ticks "$posting_pid") - posting_ticks ))
  reports=$(( $(grep -c '^Sending: ' "$work/agent.log") - reports_before ))
  agent_rss=$(resident_mb "$agent_pid"); bare_rss=$(resident_mb "$bare_pid"); posting_rss=$(resident_mb "$posting_pid")
  kill "${phase_pids[@]}"
  wait "${phase_pids[@]}" 2>/dev/null || true

  echo "$label:"
  awk -v a="$agent_rss" -v b="$bare_rss" -v p="$posting_rss" -v bar="$bar_mb" \
    'BEGIN { printf "  resident memory, connected: agent %.1f MB, bare window %.1f MB (difference %.1f MB), bare window posting every 3 s %.1f MB (difference %.1f MB: %s the footprint bar of %d MB over it)\n", a, b, a - b, p, a - p, (a - p <= bar) ? "within" : "OVER", bar }'
  awk -v at="$agent_ticks" -v bt="$bare_ticks" -v pt="$posting_ticks" -v s="$connected_seconds" -v hz=1000000 -v r="$reports" \
    'BEGIN { printf "  CPU over %d s connected: agent %.3f %% of a core (%d reports, %.2f ms each), bare window %.3f %%, bare window posting %.3f %%\n", s, 100 * at / hz / s, r, r ? 1000 * at / hz / r : 0, 100 * bt / hz / s, 100 * pt / hz / s }'
}
# CPU time in microseconds, summed over the threads, from the scheduler's own nanosecond count.
ticks() { cat /proc/"$1"/task/*/schedstat | awk '{ sum += $1 } END { printf "%d", sum / 1000 }'; }
resident_mb() { awk '/^VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }

awk -v a="$agent_ms" -v b="$bare_ms" -v n="$rounds" -v p="$paired_ratio" \
  'BEGIN { printf "first pixels (median of %d): agent %.1f ms, bare window %.1f ms, ratio %.2f; median of per-round ratios %.2f\n", n, a, b, a / b, p }'
connected "an X11 session"

# The same on a Wayland session whose compositor lists 50 native windows of another client: the
# windows draw on the X server still, and the agent's scanner follows a headless sway's windows
# and asks its IPC for their PIDs, as on a candidate's sway desktop.
windows="$build/bench/wayland/bench_wayland_windows"
if [ "$(id -u)" -ne 0 ] || [ "$(awk '{print $3}' /proc/self/uid_map)" != 4294967295 ] || [ ! -x "$windows" ]; then
  echo "a Wayland session: skipped (a compositor runs as a throwaway user only for the real root)"
  exit 0
fi
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/platform/wayland/compositors.sh"
windows="$(reachable_copy "$windows")"
start_sway
"$as_user" env QT_QPA_PLATFORM=wayland "$windows" org.example.Bench 50 >"$work/windows.log" 2>&1 &
pids+=($!)
await 15 grep -qsx shown "$work/windows.log" || fail "the 50 native windows did not show"
# The agent runs as the test's user, whose runtime folder is not the compositor's.
export WAYLAND_DISPLAY="$work/wayland/$WAYLAND_DISPLAY" QT_QPA_PLATFORM=xcb
connected "a sway session with 50 native windows"
