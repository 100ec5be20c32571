# Sourced by the scripts that start real programs: a work folder, a private runtime folder and
# private XDG folders, all gone on exit with every process listed in `pids`; waiting for a
# condition; a private X server; a browser of the test's own. A script defines `fail MESSAGE`
# before it calls start_xvfb, and may define `after_processes_end`, which runs once they have
# ended. A script that starts the real agent sources it with `--isolated "$@"`, and runs again in
# isolation (below) before anything else happens.

# Runs the calling script again in a network namespace of its own whose only interface is a
# loopback that is up, on a session bus of its own: the local exam service's compiled-in port is
# always free there, nothing outside can answer, and no desktop service hears the agent. As root
# it takes the namespace directly; any other user takes it inside a user namespace.
isolate() {
  [ -z "${QOLVI_ISOLATED:-}" ] || return 0
  local unshare=(unshare --net)
  [ "$(id -u)" -eq 0 ] || unshare=(unshare --user --map-root-user --net)
  QOLVI_ISOLATED=1 exec "${unshare[@]}" -- bash -c \
    'ip link set lo up || { echo "FAIL: no loopback in a network namespace of its own" >&2; exit 1; }
     exec dbus-run-session -- bash "$@"' isolated "$0" "$@"
}
if [ "${1:-}" = --isolated ]; then
  shift
  isolate "$@"
fi

work="$(mktemp -d)"
pids=()
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
# What the desktop around the test would otherwise lend it: its settings, its applications and
# their handlers, its identity, its browser, its language.
mkdir -p "$work/config" "$work/data/applications" "$work/cache" "$work/state"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" \
  XDG_STATE_HOME="$work/state"
unset XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP DESKTOP_SESSION GNOME_DESKTOP_SESSION_ID \
  KDE_FULL_SESSION KDE_SESSION_VERSION MATE_DESKTOP_SESSION_ID BROWSER DISPLAY WAYLAND_DISPLAY
# The services the test's session bus starts get the same folders: the bus started before they
# were chosen, and would otherwise hand its services the desktop's own.
if [ -n "${QOLVI_ISOLATED:-}" ] && [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
  dbus-update-activation-environment XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_STATE_HOME
fi
# Nor its proxy, which the agent would go through.
unset http_proxy https_proxy all_proxy no_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY NO_PROXY
# The window in English, whatever the desktop's language; a test of another sets LANGUAGE.
unset LANGUAGE
export LC_ALL=C.UTF-8

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

# Waits up to $1 seconds for a command to succeed, by the clock: a command that itself takes a
# while to fail is not tried ten times a second for as many tries.
await() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# Ends the processes given: TERM, then KILL for any that still runs 5 s later.
all_ended() { local pid; for pid in "$@"; do ! kill -0 "$pid" 2>/dev/null || return 1; done; }
end_processes() {
  kill "$@" 2>/dev/null || true
  await 5 all_ended "$@" || kill -KILL "$@" 2>/dev/null || true
  wait "$@" 2>/dev/null || true
}

# An Xvfb on a display it picks itself, once it takes connections, with any further options
# given; exports DISPLAY. It never resets: by default an X server starts over when its last
# client goes, and refuses connections meanwhile, so a program started right after a crash of
# the last one would find no display.
start_xvfb() {
  Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp "$@" 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  await 10 grep -q '^[0-9]' "$work/display" || fail "Xvfb did not start"
  export DISPLAY=":$(head -n 1 "$work/display")"
}

# The test's browser, the desktop's handler of https and http links in the test's own XDG
# configuration: it writes down what it was asked to open, in $work/opened.
provide_browser() {
  printf '#!/bin/sh\necho "$1" >>"%s/opened"\n' "$work" >"$work/browser"
  chmod +x "$work/browser"
  printf '[Desktop Entry]\nType=Application\nName=Test browser\nExec=%s %%u\nMimeType=x-scheme-handler/https;x-scheme-handler/http;\n' \
    "$work/browser" >"$work/data/applications/qolvi-test-browser.desktop"
  printf '[Default Applications]\nx-scheme-handler/https=qolvi-test-browser.desktop\nx-scheme-handler/http=qolvi-test-browser.desktop\n' \
    >"$work/config/mimeapps.list"
}

# Whether the danger banner (rose at 85 % over the light background) shows in a window.
banner_shows() {
  import -window "$1" "$work/shot.png" 2>/dev/null || return 1
  [ "$(convert "$work/shot.png" -fuzz 2% -fill black +opaque '#E5787F' -fill white -opaque '#E5787F' \
    -format '%[fx:int(mean*w*h+0.5)]' info:)" -gt 500 ]
}

# The demo key typed into an agent's window, then its key button pressed, as a candidate does.
press_key_button() {
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool type --delay 30 "QOLVI-DEMO-2026"
  xdotool key Tab space
}

# Ends the script with the code CTest counts as a skip unless it runs as the real root: the
# full range of IDs is mapped only outside a user namespace, and a namespace's root cannot
# become another user. $1 says what needs it.
needs_real_root() {
  if [ "$(id -u)" -ne 0 ] || [ "$(awk '{print $3}' /proc/self/uid_map)" != 4294967295 ]; then
    echo "SKIP: $1 needs the real root"
    exit 77
  fi
}

# The first user and group ID from $1 on that no account or group of the machine has.
unused_id() {
  local id="$1"
  while getent passwd "$id" >/dev/null || getent group "$id" >/dev/null; do
    id=$((id + 1))
  done
  echo "$id"
}

# A copy of the program $1 that another user can run, in a folder of its own (a program beside
# an application's is its helper) in the work folder, open to all: the folders above the
# checkout may be closed to other users (a home made 0700, a folder of mktemp -d), so a test
# never hands another user a program of the build or source tree. Prints the copy's path.
reachable_copy() {
  local name
  name="$(basename "$1")"
  chmod 711 "$work"
  mkdir -p -m 755 "$work/programs" "$work/programs/$name"
  cp "$1" "$work/programs/$name/$name"
  chmod 755 "$work/programs/$name/$name"
  echo "$work/programs/$name/$name"
}

# An unprivileged candidate of the test's own, with a home and a runtime folder in the work
# folder and no session bus (the test's is root's, which they may not join); the script
# `$as_candidate` runs a command as them, in their home (the test's own folder may be closed to
# them). Only the real root can make one: elsewhere the test says why and ends with the code
# CTest counts as a skip.
make_candidate() {
  needs_real_root "running the agent as an unprivileged user"
  candidate="$(unused_id 61300)"
  chmod 711 "$work"
  mkdir -m 700 "$work/home" "$work/home/runtime"
  chown -R "$candidate:$candidate" "$work/home"
  printf '#!/bin/sh\ncd "%s" || exit 1\nexec setpriv --reuid=%s --regid=%s --clear-groups env -u DBUS_SESSION_BUS_ADDRESS HOME="%s" XDG_RUNTIME_DIR="%s/runtime" XDG_CONFIG_HOME="%s" XDG_CACHE_HOME="%s" XDG_STATE_HOME="%s" "$@"\n' \
    "$work/home" "$candidate" "$candidate" "$work/home" "$work/home" "$work/home" "$work/home" "$work/home" >"$work/as-candidate"
  chmod 755 "$work/as-candidate"
  as_candidate="$work/as-candidate"
}
