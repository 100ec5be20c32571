# Sourced after tests/support/session.sh: real compositors, headless, run as a throwaway
# unprivileged user (sway refuses to run as root), each with a runtime folder of that user's
# inside the work folder. Needs the real root; as any other user it says why and ends the
# script with the code CTest counts as a skip.

# The full range of IDs is mapped only outside a user namespace: a namespace's root cannot
# become another user.
if [ "$(id -u)" -ne 0 ] || [ "$(awk '{print $3}' /proc/self/uid_map)" != 4294967295 ]; then
  echo "SKIP: running a compositor as an unprivileged user needs the real root"
  exit 77
fi
wayland_uid=61234
while getent passwd "$wayland_uid" >/dev/null || getent group "$wayland_uid" >/dev/null; do
  wayland_uid=$((wayland_uid + 1))
done
chmod 711 "$work"
mkdir -m 700 "$work/wayland" "$work/home"
chown "$wayland_uid:$wayland_uid" "$work/wayland" "$work/home"

# Runs a command as the compositor's user, in its session. A script rather than a function,
# so that the PID of a command started in the background is the program's own.
printf '#!/bin/sh\nexec setpriv --reuid=%s --regid=%s --clear-groups env HOME="%s" XDG_RUNTIME_DIR="%s" XDG_CONFIG_HOME="%s" XDG_CACHE_HOME="%s" "$@"\n' \
  "$wayland_uid" "$wayland_uid" "$work/home" "$work/wayland" "$work/home/.config" "$work/home/.cache" >"$work/as-user"
chmod 755 "$work/as-user"
as_user="$work/as-user"

# The socket name a compositor made in the runtime folder, once it takes connections.
wayland_socket() { (cd "$work/wayland" && ls -1 wayland-* 2>/dev/null | grep -v '\.lock$' | head -n 1); }
has_wayland_socket() { [ -n "$(wayland_socket)" ]; }

# A headless sway without Xwayland; exports WAYLAND_DISPLAY and, as sway does for its
# children, SWAYSOCK.
start_sway() {
  printf 'xwayland disable\n' >"$work/sway.config"
  chmod 644 "$work/sway.config"
  "$as_user" env WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sway -c "$work/sway.config" >"$work/sway.log" 2>&1 &
  pids+=($!)
  sway_pid=$!
  await 10 has_wayland_socket || { cat "$work/sway.log"; fail "sway did not start"; }
  export WAYLAND_DISPLAY="$(wayland_socket)"
  export SWAYSOCK="$work/wayland/sway-ipc.$wayland_uid.$sway_pid.sock"
  await 10 test -S "$SWAYSOCK" || fail "sway made no IPC socket"
}

# A headless weston, which lists no windows to other clients; exports WAYLAND_DISPLAY.
start_weston() {
  "$as_user" weston --backend=headless-backend.so --socket=wayland-weston --idle-time=0 \
    >"$work/weston.log" 2>&1 &
  pids+=($!)
  await 10 test -S "$work/wayland/wayland-weston" || { cat "$work/weston.log"; fail "weston did not start"; }
  export WAYLAND_DISPLAY=wayland-weston
}
