# Sourced by the scripts that start real programs: a work folder and a private runtime folder,
# both gone on exit with every process listed in `pids`; waiting for a condition; a private X
# server. A script defines `fail MESSAGE` before it calls start_xvfb, and may define
# `after_processes_end`, which runs once they have ended.

work="$(mktemp -d)"
pids=()
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  # What has not ended 5 s after TERM is killed: a stuck program fails the run, never hangs it.
  for _ in $(seq 50); do
    local alive=0
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
    [ "$alive" = 0 ] && break
    sleep 0.1
  done
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if declare -F after_processes_end >/dev/null; then after_processes_end; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $1 seconds for a command to succeed.
await() { local limit=$1; shift; for _ in $(seq $((limit * 10))); do "$@" && return 0; sleep 0.1; done; return 1; }

# An Xvfb on the first free display, with any further options given; exports DISPLAY.
start_xvfb() {
  local display=90
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp "$@" >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  export DISPLAY=":$display"
  await 10 xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"
}
