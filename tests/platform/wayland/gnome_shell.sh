# Sourced before tests/support/session.sh: a real headless GNOME Shell, run as the test's own
# user with the machine's logind hidden, and the project's extension installed for the user.
# Needs the real root; as any other user it says why and ends the script with the code CTest
# counts as a skip.

if [ "$(id -u)" -ne 0 ] || [ "$(awk '{print $3}' /proc/self/uid_map)" != 4294967295 ]; then
  echo "SKIP: hiding the machine's logind from GNOME Shell needs the real root"
  exit 77
fi
# GNOME Shell asks logind for its session when the machine has one, and that needs a real
# login; where none is seen it carries on without. A mount namespace hides it, where there is one.
if [ -z "${QOLVI_LOGIND_HIDDEN:-}" ]; then
  QOLVI_LOGIND_HIDDEN=1 exec unshare --mount -- bash -c \
    '[ ! -d /run/systemd ] || mount -t tmpfs tmpfs /run/systemd; exec bash "$@"' hidden "$0" "$@"
fi
uuid=windows@desktop-agent.qolvi.com

# The form of the extension in $1 (its 43 and 44 form) or $2 (the module) that the installed
# shell loads.
extension_for_shell() {
  if [ "$(gnome-shell --version | sed -E 's/[^0-9]*([0-9]+).*/\1/')" -ge 45 ]; then
    realpath "$2"
  else
    realpath "$1"
  fi
}

# Installs the extension in $1, answering the program $2 rather than the installed agent, in the
# data folder $3: by default the system's folder of the test's own, "$work/system", which
# XDG_DATA_DIRS names first; not turned on.
install_extension() {
  local extension="$1" answered="$2" folder="${3:-$work/system}/gnome-shell/extensions/$uuid"
  mkdir -p "$folder"
  cp "$extension/metadata.json" "$folder/"
  sed "s|'/usr/bin/qolvi-desktop-agent'|'$answered'|" "$extension/extension.js" >"$folder/extension.js"
}

# After session.sh: the shell, with a home and a system bus of the test's own; exports
# WAYLAND_DISPLAY once the shell takes connections. Called again, it ends the shell and starts a
# new one, as the user's next login would.
start_gnome_shell() {
  if [ -n "${shell:-}" ]; then
    end_processes "$shell"
    rm -f "$XDG_RUNTIME_DIR/wayland-gnome"
  else
    start_system_bus
    # The shell starts the input method's daemon when one is installed, and the daemon starts its
    # panel, a desktop application, some seconds later: in whichever row it lands, the backend
    # would rightly add it. This session has no input method.
    mkdir -p "$work/no-input-method"
    printf '#!/bin/sh\nexit 0\n' >"$work/no-input-method/ibus-daemon"
    chmod 755 "$work/no-input-method/ibus-daemon"
    export PATH="$work/no-input-method:$PATH"
  fi
  gnome-shell --headless --wayland --virtual-monitor 1280x800 --wayland-display wayland-gnome >>"$work/shell.log" 2>&1 &
  shell=$!
  pids+=($shell)
  await 30 test -S "$XDG_RUNTIME_DIR/wayland-gnome" || { cat "$work/shell.log"; fail "GNOME Shell did not start"; }
  export WAYLAND_DISPLAY=wayland-gnome
}

start_system_bus() {
  as_user=env
  export HOME="$work/home"
  mkdir -p "$HOME"
  # The services the bus starts for the shell (settings, accessibility, calendar) get the test's
  # home too.
  dbus-update-activation-environment HOME
  # A system bus of the test's own, on which nothing answers: the shell's power and network
  # indicators then show nothing instead of ending the shell's start.
  dbus-daemon --session --address="unix:path=$work/system_bus" --nofork --nopidfile >"$work/system_bus.log" 2>&1 &
  pids+=($!)
  await 10 test -S "$work/system_bus" || fail "no system bus"
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/system_bus"
}
