#!/usr/bin/env bash
# Real applications that Debian ships, started as a desktop without a user manager starts them
# (their entry's Exec line, without GLib's launcher), each checked by what the real backend
# reports while it runs. Usage: real_applications.sh LIST_APPLICATIONS
set -euo pipefail

lister="$1"
source "$(dirname "${BASH_SOURCE[0]}")/../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; for log in "$work"/*.log; do echo "--- $log"; tail -n 20 "$log"; done; exit 1; }
start_xvfb

# Each row: the desktop ID whose Exec line starts the application, the identifier expected.
rows=(
  "org.gnome.Meld org.gnome.Meld"
  "org.xfce.mousepad org.xfce.mousepad"
  "org.xfce.mousepad-settings org.xfce.mousepad-settings"
  "debian-xterm debian-xterm"
  "debian-uxterm debian-uxterm"
  "org.gnome.Terminal org.gnome.Terminal"
)
failed=0
# What the private session bus started for an application, such as its server, ends with it.
bus_services_end() {
  local bus
  bus="$(pgrep -P "$PPID" -x dbus-daemon)" && pkill -P "$bus" || true
}
reported() { "$lister" >"$work/reported" && grep -qx "$1" "$work/reported"; }
for row in "${rows[@]}"; do
  read -r entry expected <<<"$row"
  file="/usr/share/applications/$entry.desktop"
  [ -f "$file" ] || fail "$entry is not installed (scripts/install-deps installs it)"
  command="$(sed -n 's/^Exec=//p' "$file" | head -n 1 | sed 's/ %[a-zA-Z]//g')"
  setsid sh -c "exec $command" >"$work/$entry.log" 2>&1 &
  session=$!
  pids+=("$session")
  if await 20 reported "$expected"; then
    echo "ok: $entry reports $expected"
  else
    echo "not ok: $entry reports none of $expected: $(tr '\n' ' ' <"$work/reported")"
    failed=1
  fi
  # The application's whole session, and what the bus started for it, end before the next.
  pkill -s "$session" || true
  bus_services_end
done
[ "$failed" = 0 ] || fail "some applications were not reported"
echo "PASS: ${#rows[@]} real applications reported by their desktop IDs"
