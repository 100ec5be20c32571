#!/usr/bin/env bash
# Runs a command (the Windows tests or benchmark) with Wine ready: a private X server, since
# the sample programs open real windows, and a private Wine prefix made for this run.
set -euo pipefail
fail() { echo "under_wine: $*" >&2; exit 1; }
source "$(dirname "$0")/../../support/session.sh"

# Debian keeps the 64-bit Wine outside PATH.
export PATH="$PATH:/usr/lib/wine"
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
after_processes_end() { wineserver -k 2>/dev/null || true; }

# Each Wine program holds X connections of its own; the benchmark starts hundreds.
start_xvfb -maxclients 1024
mkdir -p "$WINEPREFIX"
# Kept running between the tests, which would otherwise each start and stop Wine.
wineserver -p
wine64 wineboot -i >/dev/null 2>&1 || fail "wineboot could not make the prefix"
"$@"
