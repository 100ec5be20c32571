#!/usr/bin/env bash
# The real agent's window keeps answering, and its reports keep their beat, while a program it
# asks about the windows stands still. Each row freezes one (SIGSTOP) before the key is
# submitted, so that the agent meets it frozen when it first looks for the windows, pings the
# window as a window manager does, and times the reports by the console's "Sending:" lines.
# The window is on an X server of the test's own; the windows are asked of the compositor.
# Usage: frozen_peers.sh AGENT SERVICE LOCAL_CA_DIR PORT WINDOW_PING WAYLAND_WINDOW_CLIENT
set -euo pipefail

agent="$1" service="$2" ca="$3" port="$4" window_ping="$5" client="$6"
# The agent runs as root here, which would make every root process of the machine its own: a
# PID namespace keeps its scans to the test's programs, each a short look that waits on no one.
if [ -z "${QOLVI_OWN_PIDS:-}" ]; then
  QOLVI_OWN_PIDS=1 exec unshare --pid --fork --mount-proc -- bash "$0" "$@"
fi
source "$(dirname "${BASH_SOURCE[0]}")/../../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; echo "--- agent"; cat "$work/agent.log" || true; exit 1; }
source "$(dirname "${BASH_SOURCE[0]}")/compositors.sh"
client="$(reachable_copy "$client")"
start_xvfb

"$service" --port "$port" --tls-cert "$ca/server.pem" --tls-key "$ca/server.key" >"$work/service.log" 2>&1 &
pids+=($!)
await 10 grep -q listening "$work/service.log" || fail "the service did not start"

# The agent's own session bus, which a row may freeze.
dbus-daemon --session --address="unix:path=$work/agent_bus" --nofork --nopidfile >"$work/agent_bus.log" 2>&1 &
bus_pid=$!
pids+=($bus_pid)
await 10 test -S "$work/agent_bus" || fail "no session bus for the agent"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/agent_bus"

# A proxy that tunnels CONNECT, as a system's https_proxy names it, which a row may freeze.
cat >"$work/proxy.py" <<'PROXY'
import socket, threading
server = socket.create_server(('127.0.0.1', 0))
print(server.getsockname()[1], flush=True)
def pipe(source, sink):
    try:
        while data := source.recv(65536):
            sink.sendall(data)
    except OSError:
        pass
    sink.close()
def tunnel(client):
    request = b''
    while b'\r\n\r\n' not in request:
        request += client.recv(4096)
    host, port = request.split()[1].decode().rsplit(':', 1)
    upstream = socket.create_connection((host, int(port)))
    client.sendall(b'HTTP/1.1 200 Connection established\r\n\r\n')
    print('tunnel', flush=True)
    threading.Thread(target=pipe, args=(upstream, client), daemon=True).start()
    pipe(client, upstream)
while True:
    threading.Thread(target=tunnel, args=(server.accept()[0],), daemon=True).start()
PROXY
python3 "$work/proxy.py" >"$work/proxy.port" &
proxy_pid=$!
pids+=($proxy_pid)
await 10 grep -q '^[0-9]' "$work/proxy.port" || fail "the proxy did not start"

# Each console line of the agent with the time it came, in seconds; through the proxy in the
# proxy's row.
run_agent() {
  local proxy=
  [ "$frozen" != "the network proxy" ] || proxy="http://127.0.0.1:$(cat "$work/proxy.port")"
  https_proxy="$proxy" QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY="$work/wayland/$WAYLAND_DISPLAY" "$agent" | while IFS= read -r line; do echo "$EPOCHREALTIME $line"; done >"$work/agent.log" &
  pids+=($!)
  await 15 xdotool search --name "^Qolvi Desktop Agent$" >/dev/null 2>&1 || fail "no window"
  window="$(xdotool search --name "^Qolvi Desktop Agent$" | head -n 1)"
  agent_pid="$(xdotool getwindowpid "$window")"
  pids+=($agent_pid)
  await 5 sh -c "xprop -id $window _NET_WM_ICON | grep -q 'Icon (64 x 64)'" || fail "no first frame"
  xdotool windowfocus --sync "$window" 2>/dev/null || true
}

# The gaps between the reports, in milliseconds.
report_gaps() {
  grep ' Sending: CheckAgent' "$work/agent.log" | awk 'NR > 1 { printf "%d\n", ($1 - last) * 1000 } { last = $1 }'
}

# What stands still | the compositor of the row. The compositor is frozen just after a new
# window shows, so that the agent's next tick has a changed list to ask about; the bus before the
# first key, so that the agent meets it silent when it first looks for a window source; the
# proxy once the agent is connected through it, so that every report goes into its silence.
rows=(
  "the compositor|sway"
  "the session bus|weston"
  "the network proxy|sway"
)
for row in "${rows[@]}"; do
  IFS='|' read -r frozen compositor <<<"$row"
  # sway takes a SWAYSOCK it inherits for its own socket's path.
  unset SWAYSOCK
  "start_$compositor"
  compositor_pid="${pids[-1]}"
  run_agent
  case "$frozen" in
    "the compositor") peer=$compositor_pid ;;
    "the session bus") peer=$bus_pid; kill -STOP "$peer" ;;
    "the network proxy") peer=$proxy_pid ;;
  esac
  # A refused key first: what the agent does once, at its first press, is its own work.
  xdotool type --delay 30 "WRONG-KEY"
  xdotool key Tab space
  await 10 grep -q "Status Code: 200 for initAgent" "$work/agent.log" || fail "with $frozen frozen no answer to the first key within 10 s"
  xdotool key shift+Tab ctrl+a
  xdotool type --delay 30 "QOLVI-DEMO-2026"
  xdotool key Tab space
  await 10 grep -q "Sending: CheckAgent" "$work/agent.log" || fail "with $frozen frozen no report within 10 s of the key"
  "$window_ping" "$window" 10 >"$work/pinged" &
  pinger=$!
  if [ "$frozen" = "the compositor" ]; then
    "$as_user" env QT_QPA_PLATFORM=wayland "$client" org.example.NewWindow >"$work/client.log" 2>&1 &
    pids+=($!)
    await 10 sh -c "'$as_user' swaymsg -s '$SWAYSOCK' -t get_tree | grep -q org.example.NewWindow" || fail "the new window did not show"
    kill -STOP "$peer"
  fi
  if [ "$frozen" = "the network proxy" ]; then
    grep -q '^tunnel' "$work/proxy.port" || fail "the agent did not go through the proxy"
    kill -STOP "$peer"
  fi
  wait "$pinger" || fail "the window could not be pinged"
  kill -CONT "$peer"
  pinged="$(cat "$work/pinged")"
  longest="$(sed -n 's/^longest answer \([0-9]*\) ms.*/\1/p' "$work/pinged")"
  [ -n "$longest" ] && [ "$longest" -lt 100 ] || fail "with $frozen frozen the window took: $pinged"
  gaps="$(report_gaps)"
  [ "$(echo "$gaps" | grep -c .)" -ge 3 ] || fail "with $frozen frozen fewer than four reports in 10 s"
  for gap in $gaps; do
    [ "$gap" -ge 2500 ] && [ "$gap" -le 3500 ] || fail "with $frozen frozen reports came $gaps ms apart"
  done
  echo "ok: with $frozen frozen, $pinged; reports $(echo $gaps) ms apart"
  end_processes "$agent_pid" "$compositor_pid"
  rm -f "$work/wayland/"wayland-*
done
echo "PASS: the window answers within 100 ms and reports keep every 3 s while a peer stands still"
