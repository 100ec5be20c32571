#!/usr/bin/env bash
# The project's GNOME Shell extension in a real headless GNOME Shell: it tells the one program
# it answers each window's application as GNOME tracks it, the ID the window gave itself and
# its owner's PID, says when the windows change, and refuses the same program at another path.
# gdbus stands in for the installed agent: the test's copy of the extension answers it.
# Usage: gnome_shell_windows.sh EXTENSION_DIR WAYLAND_WINDOW_CLIENT
set -euo pipefail

if [ "$(id -u)" -ne 0 ] || [ "$(awk '{print $3}' /proc/self/uid_map)" != 4294967295 ]; then
  echo "SKIP: hiding the machine's logind from GNOME Shell needs the real root"
  exit 77
fi
# GNOME Shell asks logind for its session when the machine has one, and that needs a real
# login; where none is seen it carries on without. A mount namespace hides it.
if [ -z "${QOLVI_LOGIND_HIDDEN:-}" ]; then
  QOLVI_LOGIND_HIDDEN=1 exec unshare --mount -- bash -c \
    'mount -t tmpfs tmpfs /run/systemd && exec bash "$@"' hidden "$0" "$@"
fi

extension="$(realpath "$1")" client="$2"
source "$(dirname "${BASH_SOURCE[0]}")/../../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; exit 1; }
export HOME="$work/home"
mkdir -p "$HOME"

# A system bus of the test's own, on which nothing answers: the shell's power and network
# indicators then show nothing instead of ending the shell's start.
dbus-daemon --session --address="unix:path=$work/system_bus" --nofork --nopidfile >"$work/system_bus.log" 2>&1 &
pids+=($!)
await 10 test -S "$work/system_bus" || fail "no system bus"
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/system_bus"

uuid=windows@desktop-agent.qolvi.com
mkdir -p "$XDG_DATA_HOME/gnome-shell/extensions/$uuid"
cp "$extension/metadata.json" "$XDG_DATA_HOME/gnome-shell/extensions/$uuid/"
sed "s|'/usr/bin/qolvi-desktop-agent'|'$(realpath "$(command -v gdbus)")'|" "$extension/extension.js" \
  >"$XDG_DATA_HOME/gnome-shell/extensions/$uuid/extension.js"
# Settings in a file of the test's own: the session bus started before the test's folders were
# chosen, so a settings service it starts would write the user's real settings.
export GSETTINGS_BACKEND=keyfile
gsettings set org.gnome.shell enabled-extensions "['$uuid']"
# An entry for the application that only its window names, for GNOME to track it by.
printf '[Desktop Entry]\nType=Application\nName=Only its window\nExec=%s\n' "$(realpath "$client")" \
  >"$XDG_DATA_HOME/applications/org.example.OnlyItsWindow.desktop"

gnome-shell --headless --wayland --virtual-monitor 1280x800 --wayland-display wayland-gnome >"$work/shell.log" 2>&1 &
pids+=($!)
export WAYLAND_DISPLAY=wayland-gnome
list=(gdbus call --session --dest com.qolvi.DesktopAgent.Windows --object-path /com/qolvi/DesktopAgent/Windows
  --method com.qolvi.DesktopAgent.Windows.List)
await 30 "${list[@]}" >/dev/null 2>&1 || { cat "$work/shell.log"; "${list[@]}" || true; fail "the extension does not answer"; }
echo "ok: GNOME Shell runs the extension"
gdbus monitor --session --dest com.qolvi.DesktopAgent.Windows >"$work/signals" 2>&1 &
pids+=($!)
await 10 grep -q 'owned by' "$work/signals" || fail "cannot follow the extension's signals"

expect_windows() {
  local what="$1" expected="$2"
  # GNOME numbers the windows it tracks by no entry in an order of its own.
  if await 10 sh -c '[ "$("$@" 2>&1 | sed -E "s/window:[0-9]+/window:N/g")" = "$0" ]' "$expected" "${list[@]}"; then
    echo "ok: $what"
  else
    echo "not ok: $what: the extension gives"; "${list[@]}" 2>&1 || true; echo "instead of"; echo "$expected"
    fail "$what"
  fi
}
expect_windows "no windows yet" "(@a(ssu) [],)"

weston-terminal >"$work/terminal.log" 2>&1 &
terminal=$!
pids+=($terminal)
# GNOME tracks a window that no entry matches by a number of its own.
expect_windows "a real terminal, which no entry matches, with its PID" \
  "([('window:N', 'org.freedesktop.weston.wayland-terminal', uint32 $terminal)],)"
QT_QPA_PLATFORM=wayland "$client" org.example.OnlyItsWindow >"$work/client.log" 2>&1 &
client_pid=$!
pids+=($client_pid)
expect_windows "an application its entry names, after it" \
  "([('org.example.OnlyItsWindow.desktop', 'org.example.OnlyItsWindow', uint32 $client_pid), ('window:N', 'org.freedesktop.weston.wayland-terminal', $terminal)],)"
kill "$terminal"
expect_windows "the closed terminal is gone" \
  "([('org.example.OnlyItsWindow.desktop', 'org.example.OnlyItsWindow', uint32 $client_pid)],)"
[ "$(grep -c 'com.qolvi.DesktopAgent.Windows.Changed ()' "$work/signals")" -ge 3 ] ||
  fail "the extension did not say that the windows changed: $(cat "$work/signals")"
echo "ok: the extension says when the windows change"

cp "$(command -v gdbus)" "$work/other-gdbus"
refused="$("$work/other-gdbus" "${list[@]:1}" 2>&1 || true)"
[ "$refused" = "Error: GDBus.Error:org.freedesktop.DBus.Error.AccessDenied: Only the Qolvi Desktop Agent may list the windows" ] ||
  fail "the same program at another path got '$refused'"
echo "ok: the extension refuses the same program at another path"
echo "PASS: GNOME Shell's windows through the extension, for its program only"
