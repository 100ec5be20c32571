# Sourced after tests/support/session.sh: real compositors, headless, run as a throwaway
# unprivileged user (sway refuses to run as root), each with a runtime folder of that user's
# inside the work folder. Needs the real root; as any other user it says why and ends the
# script with the code CTest counts as a skip.

needs_real_root "running a compositor as an unprivileged user"
# A test that runs beside the others sets wayland_uid_from to a user of its own.
wayland_uid="$(unused_id "${wayland_uid_from:-61234}")"
chmod 711 "$work"
mkdir -m 700 "$work/wayland" "$work/home"
chown "$wayland_uid:$wayland_uid" "$work/wayland" "$work/home"

# Runs a command as the compositor's user, in its session, on its own session bus where
# start_user_bus made one (the test's bus is root's, which that user may not join), in its home:
# a program may go back to the folder it started in (a terminal's shell does), and the test's
# own may be closed to that user. A script rather than a function, so that the PID of a command
# started in the background is the program's own.
printf '#!/bin/sh\ncd "%s" || exit 1\nexec setpriv --reuid=%s --regid=%s --clear-groups env DBUS_SESSION_BUS_ADDRESS="unix:path=%s/bus" HOME="%s" XDG_RUNTIME_DIR="%s" XDG_CONFIG_HOME="%s/.config" XDG_CACHE_HOME="%s/.cache" XDG_DATA_HOME="%s/.local/share" XDG_STATE_HOME="%s/.local/state" "$@"\n' \
  "$work/home" "$wayland_uid" "$wayland_uid" "$work/wayland" "$work/home" "$work/wayland" "$work/home" "$work/home" "$work/home" "$work/home" >"$work/as-user"
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
  compositor_pid=$!
  await 10 has_wayland_socket || { cat "$work/sway.log"; fail "sway did not start"; }
  export WAYLAND_DISPLAY="$(wayland_socket)"
  export SWAYSOCK="$work/wayland/sway-ipc.$wayland_uid.$compositor_pid.sock"
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

# A headless KWin, once it answers the program LISTER (a copy of its binary: the file capability of the installed one keeps it from
# starting where that capability cannot be granted); exports WAYLAND_DISPLAY. KWin looks a
# client's executable up among the applications KService knows, and KService knows only those an
# applications menu takes in: Debian's KF5 ships a menu of its own, KF6 none (without one KWin 6
# finds no entry at all), and a Plasma session has the one its workspace installs, under the
# prefix its startup sets. The test's KWin gets the same, as plain as a menu can be.
start_kwin() {
  local lister="$1"
  cp /usr/bin/kwin_wayland "$work/kwin_wayland"
  mkdir -p "$work/home/.config/menus"
  printf '<Menu>\n  <Name>Applications</Name>\n  <DefaultAppDirs/>\n</Menu>\n' \
    >"$work/home/.config/menus/plasma-applications.menu"
  chown -R "$wayland_uid:$wayland_uid" "$work/home/.config"
  "$as_user" env -u QT_QPA_PLATFORM XDG_MENU_PREFIX=plasma- "$work/kwin_wayland" --virtual --socket wayland-kwin \
    --no-lockscreen --no-global-shortcuts >"$work/kwin.log" 2>&1 &
  pids+=($!)
  compositor_pid=$!
  export WAYLAND_DISPLAY=wayland-kwin
  await 30 test -S "$work/wayland/wayland-kwin" || { cat "$work/kwin.log"; fail "KWin did not start"; }
  # KWin reads the installed entries before it answers its first client.
  await 30 "$as_user" "$lister" >/dev/null || { cat "$work/kwin.log"; fail "KWin does not answer"; }
}

# A session bus of the compositor's user, for programs that talk to KWin. The bus needs an
# account for the user: a script that calls it runs in a mount namespace of its own
# (QOLVI_MOUNTS_PRIVATE), where the account is added to a copy of the system's lists.
start_user_bus() {
  [ -n "${QOLVI_MOUNTS_PRIVATE:-}" ] || fail "start_user_bus needs a mount namespace of the script's own"
  { cat /etc/passwd; echo "qolvi-test:x:$wayland_uid:$wayland_uid::$work/home:/usr/sbin/nologin"; } >"$work/passwd"
  { cat /etc/group; echo "qolvi-test:x:$wayland_uid:"; } >"$work/group"
  chmod 644 "$work/passwd" "$work/group"
  mount --bind "$work/passwd" /etc/passwd
  mount --bind "$work/group" /etc/group
  "$as_user" dbus-daemon --session --address="unix:path=$work/wayland/bus" --nofork --nopidfile \
    >"$work/user_bus.log" 2>&1 &
  pids+=($!)
  await 10 test -S "$work/wayland/bus" || { cat "$work/user_bus.log"; fail "no session bus for the compositor's user"; }
}
