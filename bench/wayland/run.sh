#!/usr/bin/env bash
# Runs the native Wayland window benchmark on a headless sway of its own with 50 windows of one
# client, as an unprivileged user, in an isolated session.
# Usage: run.sh BENCH_WAYLANDTOPLEVELS BENCH_WAYLAND_WINDOWS [benchmark options...]
set -euo pipefail

bench="$(realpath "$1")" windows="$(realpath "$2")"
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/platform/wayland/compositors.sh"
shift 2
bench="$(reachable_copy "$bench")" windows="$(reachable_copy "$windows")"

start_sway
count="${QOLVI_BENCH_WINDOWS:-50}"
"$as_user" env QT_QPA_PLATFORM=wayland "$windows" org.example.Bench "$count" >"$work/windows.log" 2>&1 &
pids+=($!)
"$as_user" env QOLVI_BENCH_WINDOWS="$count" "$bench" "$@"
