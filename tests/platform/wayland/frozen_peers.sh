#!/usr/bin/env bash
# The real agent's window keeps answering, and its reports keep their beat, while a program it
# asks about the windows stands still. Each row freezes one (SIGSTOP) at the moment said at the
# rows below, pings the window as a window manager does for 7 s, two reports' time, and times
# the reports by the console's "Sending:" lines.
# The window is on an X server of the test's own; the windows are asked of the compositor, or of
# the program that owns the window source on the session bus (KWin, GNOME Shell), where the agent
# runs as that program's user.
# Usage: frozen_peers.sh AGENT SERVICE LOCAL_CA_DIR PORT WINDOW_PING WAYLAND_WINDOW_CLIENT
#        LIST_TOPLEVELS EXTENSION_DIR MODULE_EXTENSION_DIR ROWS
# ROWS is "compositors" (sway and weston, the bus, the proxy) or "shells" (KWin, GNOME Shell):
# two tests, which run side by side.
set -euo pipefail

agent="$1" service="$2" ca="$3" port="$4" window_ping="$5" client="$6" lister="$(realpath "$7")" wanted="${10}"
# The agent runs as root here, which would make every root process of the machine its own: a
# PID namespace keeps its scans to the test's programs, each a short look that waits on no one.
if [ -z "${QOLVI_OWN_PIDS:-}" ]; then
  QOLVI_OWN_PIDS=1 QOLVI_MOUNTS_PRIVATE=1 exec unshare --pid --fork --mount-proc -- bash "$0" "$@"
fi
source "$(dirname "${BASH_SOURCE[0]}")/gnome_shell.sh"
extension="$(extension_for_shell "$8" "$9")"
source "$(dirname "${BASH_SOURCE[0]}")/../../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; echo "--- agent"; cat "$work/agent.log" || true; exit 1; }
# The compositors' other tests read every process of their user: each half of this one has a
# user of its own.
wayland_uid_from=61250
[ "$wanted" = compositors ] || wayland_uid_from=61270
source "$(dirname "${BASH_SOURCE[0]}")/compositors.sh"
start_user_bus
# KWin's row runs the agent and the lister as KWin's user, who may not enter the checkout.
client="$(reachable_copy "$client")" agent="$(reachable_copy "$agent")" lister="$(reachable_copy "$lister")"
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
# proxy's row; in the proxy auto-configuration's row, told to fetch the configuration from the
# frozen proxy, which takes the connection and never answers; as the user of the row ($as).
run_agent() {
  local proxy=
  [ "$frozen" != "the network proxy" ] || proxy="http://127.0.0.1:$(head -n 1 "$work/proxy.port")"
  [ "$frozen" != "the proxy auto-configuration" ] || proxy="pac+http://127.0.0.1:$(head -n 1 "$work/proxy.port")/proxy.pac"
  "$as" env https_proxy="$proxy" QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY="$runtime/$WAYLAND_DISPLAY" "$agent" | while IFS= read -r line; do echo "$EPOCHREALTIME $line"; done >"$work/agent.log" &
  pids+=($!)
  # Qt's client leader, unmapped, has the window's name too.
  await 15 xdotool search --onlyvisible --name "^Qolvi Desktop Agent$" >/dev/null 2>&1 || fail "no window"
  window="$(xdotool search --onlyvisible --name "^Qolvi Desktop Agent$" | head -n 1)"
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
# proxy once the agent is connected through it, so that every report goes into its silence; the
# proxy auto-configuration before the agent starts, so that the system's proxy lookup never ends
# and the agent goes direct. KWin and GNOME Shell, each the compositor and the bus peer of its
# window source, once the agent has reported a window of theirs, so that the source is heard,
# and another has shown, so that the agent has a changed list to ask about in their silence.
# The agent runs as KWin's user, on that user's bus, and as GNOME Shell's, root, whose shell
# gets a home and a system bus of its own: that row comes last.
case "$wanted" in
  compositors)
    rows=(
      "the compositor|sway"
      "the session bus|weston"
      "the network proxy|sway"
      "the proxy auto-configuration|weston"
    )
    ;;
  shells) rows=("KWin|kwin" "GNOME Shell|gnome") ;;
  *) fail "no rows named '$wanted'" ;;
esac
runtime="$work/wayland"
start_gnome() {
  export XDG_DATA_DIRS="$work/system:/usr/share"
  install_extension "$extension" "$(realpath "$agent")"
  gsettings set org.gnome.shell enabled-extensions "['$uuid']"
  dbus-monitor --session "type='signal',interface='com.qolvi.DesktopAgent.Windows',member='Changed'" >"$work/changes.log" 2>&1 &
  pids+=($!)
  start_gnome_shell
  runtime="$XDG_RUNTIME_DIR"
  extension_on() {
    gdbus call --timeout 5 --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
      --method org.gnome.Shell.Extensions.GetExtensionInfo "$uuid" 2>/dev/null | grep -q "'state': <1\.0>"
  }
  await 60 extension_on || fail "GNOME Shell did not turn the extension on"
}
show_window() {
  "$as" env QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY="$runtime/$WAYLAND_DISPLAY" "$client" "$1" >>"$work/client.log" 2>&1 &
  pids+=($!)
}
kwin_shows() { "$as_user" "$lister" | grep -q "^$1 "; }
# The extension says the windows changed: the agent then lists them at its next tick.
gnome_shows() { [ "$(grep -c 'member=Changed' "$work/changes.log" || true)" -gt "$changes" ]; }
touch "$work/changes.log"
for row in "${rows[@]}"; do
  IFS='|' read -r frozen compositor <<<"$row"
  # sway takes a SWAYSOCK it inherits for its own socket's path.
  unset SWAYSOCK
  case "$compositor" in
    kwin) start_kwin "$lister" ;;
    *) "start_$compositor" ;;
  esac
  compositor_pid="${pids[-1]}"
  [ "$frozen" != "the proxy auto-configuration" ] || kill -STOP "$proxy_pid"
  as=env
  [ "$compositor" != kwin ] || as="$as_user"
  run_agent
  case "$frozen" in
    "the session bus") peer=$bus_pid; kill -STOP "$peer" ;;
    "the network proxy" | "the proxy auto-configuration") peer=$proxy_pid ;;
    *) peer=$compositor_pid ;;
  esac
  # A refused key first: what the agent does once, at its first press, is its own work.
  xdotool type --delay 30 "WRONG-KEY"
  xdotool key Tab space
  await 10 grep -q "Status Code: 200 for initAgent" "$work/agent.log" || fail "with $frozen frozen no answer to the first key within 10 s"
  xdotool key shift+Tab ctrl+a
  xdotool type --delay 30 "QOLVI-DEMO-2026"
  xdotool key Tab space
  await 10 grep -q "Sending: CheckAgent" "$work/agent.log" || fail "with $frozen frozen no report within 10 s of the key"
  # A source that did not answer in time under load is asked again 30 s later.
  if [ "$frozen" = KWin ] || [ "$frozen" = "GNOME Shell" ]; then
    show_window org.example.NewWindow
    await 40 grep -q 'Sending: CheckAgent.*org\.example\.NewWindow' "$work/agent.log" ||
      fail "the agent did not report the new window $frozen shows"
  fi
  "$window_ping" "$window" 7 >"$work/pinged" &
  pinger=$!
  if [ "$frozen" = KWin ] || [ "$frozen" = "GNOME Shell" ]; then
    changes="$(grep -c 'member=Changed' "$work/changes.log" || true)"
    show_window org.example.LaterWindow
    await 10 "${compositor}_shows" org.example.LaterWindow || fail "$frozen did not show the later window"
    kill -STOP "$peer"
  fi
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
  if [ "$frozen" = "the proxy auto-configuration" ]; then
    # A lookup that never ends must not keep the agent from ending either.
    kill "$agent_pid"
    await 5 all_ended "$agent_pid" || fail "with $frozen frozen the agent did not end within 5 s of TERM"
  fi
  kill -CONT "$peer"
  pinged="$(cat "$work/pinged")"
  longest="$(sed -n 's/^longest answer \([0-9]*\) ms.*/\1/p' "$work/pinged")"
  [ -n "$longest" ] && [ "$longest" -lt 100 ] || fail "with $frozen frozen the window took: $pinged"
  gaps="$(report_gaps)"
  [ "$(echo "$gaps" | grep -c .)" -ge 2 ] || fail "with $frozen frozen fewer than three reports in 7 s"
  for gap in $gaps; do
    [ "$gap" -ge 2500 ] && [ "$gap" -le 3500 ] || fail "with $frozen frozen reports came $gaps ms apart"
  done
  echo "ok: with $frozen frozen, $pinged; reports $(echo $gaps) ms apart"
  end_processes "$agent_pid" "$compositor_pid"
  rm -f "$runtime/"wayland-*
done
echo "PASS: the window answers within 100 ms and reports keep every 3 s while a peer stands still"
