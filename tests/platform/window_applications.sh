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
for entry in "${rows[@]}"; do
  properties="${entry%|*}" expected="${entry#*|}"
  row=$((row + 1))
  before="$("$lister" | sort)"
  cp "$client" "$work/bin/client-$row"
  # shellcheck disable=SC2086
  "$work/bin/client-$row" $properties >"$work/client-$row.out" &
  pids+=($!)
  await 10 grep -qx ready "$work/client-$row.out" || fail "the X client of row $row did not start"
  added="$(comm -13 <(echo "$before") <("$lister" | sort) | tr '\n' ' ')"
  if [ "${added% }" = "${expected/#-/}" ]; then
    echo "ok: $properties names ${expected}"
  else
    echo "not ok: $properties names '${added% }', not $expected"
    failed=1
  fi
  kill "${pids[-1]}"
  wait "${pids[-1]}" 2>/dev/null || true
done
[ "$failed" = 0 ] || fail "some windows did not name their processes"
echo "PASS: ${#rows[@]} windows name their processes as desktops match them"
