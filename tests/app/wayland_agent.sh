#!/usr/bin/env bash
# The real agent on a Wayland compositor with no X server: weston's headless backend drawing
# with pixman, so that its screenshot protocol (open to clients with --debug) shows what the
# compositor put on the screen. The window counts as mapped once the screenshot holds the
# agent's own background and accent colours, which weston's desktop does not use.
# A headless weston has no seat, and Qt 6.4 dereferences the missing seat when a text field is
# made and the compositor offers text input; a desktop session always has a seat, so the agent
# takes the compose input method here instead of the compositor's.
# Usage: wayland_agent.sh AGENT
set -euo pipefail

agent="$1"
source "$(dirname "${BASH_SOURCE[0]}")/../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; echo "--- weston"; cat "$work/weston.log"; echo "--- agent"; tail -n 40 "$work/agent.log"; exit 1; }

# weston 10 takes --use-pixman; from 12 on the renderer is named.
renderer=(--use-pixman)
weston --help 2>&1 | grep -q -- '--renderer' && renderer=(--renderer=pixman)
weston --backend=headless-backend.so "${renderer[@]}" --debug --socket=wayland-qolvi --idle-time=0 \
  --width=1024 --height=768 >"$work/weston.log" 2>&1 &
pids+=($!)
await 10 test -S "$XDG_RUNTIME_DIR/wayland-qolvi" || fail "weston did not start"
export WAYLAND_DISPLAY=wayland-qolvi

QT_QPA_PLATFORM=wayland QT_IM_MODULE=compose "$agent" >"$work/agent.log" 2>&1 &
pids+=($!)

# Pixels of one colour in the compositor's picture of the screen.
pixels_of() { convert "$1" -fill black +opaque "$2" -fill white -opaque "$2" -format '%[fx:int(mean*w*h+0.5)]' info:; }
mkdir "$work/shots"
background=0 accent=0
shown() {
  rm -f "$work"/shots/*.png
  (cd "$work/shots" && HOME="$work/shots" timeout 10 weston-screenshooter >>"$work/screenshooter.log" 2>&1) || return 1
  local shot
  shot="$(find "$work/shots" -name '*.png' | head -n 1)"
  [ -n "$shot" ] || return 1
  background=$(pixels_of "$shot" '#F5F7FA')
  accent=$(pixels_of "$shot" '#A62A4C')
  # The window's least size is about 600 by 440 and the key button alone about 200 by 50.
  [ "$background" -gt 100000 ] && [ "$accent" -gt 5000 ]
}
for _ in $(seq 40); do
  shown && break
  kill -0 "${pids[1]}" 2>/dev/null || fail "the agent ended"
  sleep 0.5
done
shown || fail "the compositor never showed the agent's window (background $background, accent $accent pixels)"
kill -0 "${pids[1]}" 2>/dev/null || fail "the agent ended"
echo "PASS: the compositor shows the agent's window on Wayland ($background background, $accent accent pixels)"
