#!/usr/bin/env bash
# Processes that nothing but their windows name, under a real X server: each row starts a copy
# of a small X client of the test's own, which no entry names, with the window properties of
# the row, and checks what the real backend then reports.
# Usage: window_applications.sh LIST_APPLICATIONS X11_WINDOW_CLIENT
set -euo pipefail

lister="$1" client="$2"
source "$(dirname "${BASH_SOURCE[0]}")/../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; exit 1; }
start_xvfb
# System entries of the test's own, for a window's class to match.
mkdir -p "$work/system/applications" "$work/bin"
export XDG_DATA_DIRS="$work/system:/usr/share"
printf '[Desktop Entry]\nType=Application\nName=Viewer\nExec=viewer\nStartupWMClass=Fixture-Viewer\n' \
  >"$work/system/applications/org.example.Viewer.desktop"
printf '[Desktop Entry]\nType=Application\nName=Tool\nExec=tool\n' >"$work/system/applications/tool.desktop"

# Each row: what the window says, then the identifier expected ("-" for none).
rows=(
  "--gtk-id org.example.GtkApp|org.example.GtkApp"
  "--kde-file org.kde.konsole.desktop|org.kde.konsole"
  "--wm-class viewer Fixture-Viewer|org.example.Viewer"
  "--wm-class tool Tool|tool"
  "--wm-class com.qolvi.DesktopAgent qolvi|com.qolvi.DesktopAgent"
  "--wm-class unknown Unknown|-"
  "--gtk-id org.example.Claimed --claim-pid 4194303|org.example.Claimed"
)
failed=0
row=0
# Starts a copy of the client at $1, as the user the rest of the command line runs, with the
# window properties of $2, and checks that the backend then adds exactly $3 ("-" for none).
check() {
  local program="$1" properties="$2" expected="$3"
  shift 3
  row=$((row + 1))
  before="$("$lister" | sort)"
  cp "$client" "$program"
  chmod 755 "$program"
  # shellcheck disable=SC2086
  "$@" "$program" $properties >"$work/client-$row.out" &
  pids+=($!)
  await 10 grep -qx ready "$work/client-$row.out" || fail "the X client of row $row did not start"
  added="$(comm -13 <(echo "$before") <("$lister" | sort) | tr '\n' ' ')"
  if [ "${added% }" = "${expected/#-/}" ]; then
    echo "ok: $* $properties names ${expected}"
  else
    echo "not ok: $* $properties names '${added% }', not $expected"
    failed=1
  fi
  end_processes "${pids[-1]}"
}
for entry in "${rows[@]}"; do
  check "$work/bin/client-$((row + 1))" "${entry%|*}" "${entry#*|}"
done
# Another user's program on this display, started as `sudo -u` would start it: nothing of it
# but its command line and its window can be read, and a second account of the candidate's
# writes both, so neither names it. The user is a UID no account has, which exists only while
# its processes run.
if [ "$(id -u)" = 0 ]; then
  mkdir -m 755 "$work/shared"
  chmod 711 "$work"
  printf '[Desktop Entry]\nType=Application\nName=Shared\nExec=%s\n' "$work/shared/shared-app" \
    >"$work/system/applications/org.example.Shared.desktop"
  check "$work/shared/shared-app" "--gtk-id org.example.Shared" com.qolvi.UnknownProgram \
    setpriv --reuid=4242 --regid=4242 --clear-groups
else
  echo "SKIP: another user's windows need a test run as root, to start a process as another user"
fi
# A server that stops answering holds a scan up by no more than the scanner's reply limit
# (250 ms): the tick goes on, without windows. The lister scans once connected, then again
# while the server is stopped.
coproc LISTER { "$lister" --each-line; }
pids+=("$LISTER_PID")
read_report() { local line; while read -r line <&"${LISTER[0]}"; do [ "$line" = . ] && return 0; done; }
read_report
kill -STOP "${pids[0]}"
started=$(date +%s%N)
echo >&"${LISTER[1]}"
read_report
waited=$((($(date +%s%N) - started) / 1000000))
# A scanner that first meets the server stopped: connecting alone would wait for its answer for
# good.
started=$(date +%s%N)
timeout 20 "$lister" >/dev/null || true
connecting=$((($(date +%s%N) - started) / 1000000))
kill -CONT "${pids[0]}"
for held in "the scan up for $waited" "a new scanner up for $connecting"; do
  if [ "${held##* }" -lt 2000 ]; then
    echo "ok: a stopped X server held $held ms"
  else
    echo "not ok: a stopped X server held $held ms"
    failed=1
  fi
done
[ "$failed" = 0 ] || fail "some windows did not name their processes"
echo "PASS: $row windows name their processes as desktops match them"
