#!/usr/bin/env bash
# The native Wayland window sources against a real headless KWin: its window management
# protocol, which it offers only to a program an installed desktop entry lists with the
# interface, gives each window's application ID and PID as real native clients come and go; a
# program no entry lists gets the same windows from a KWin script it loads over the session bus.
# Usage: kwin_toplevels.sh LIST_TOPLEVELS WAYLAND_WINDOW_CLIENT
set -euo pipefail

if [ "$(id -u)" -ne 0 ] || [ "$(awk '{print $3}' /proc/self/uid_map)" != 4294967295 ]; then
  echo "SKIP: running a compositor as an unprivileged user needs the real root"
  exit 77
fi
# The session bus of the compositor's user needs an account, added in a mount namespace.
if [ -z "${QOLVI_MOUNTS_PRIVATE:-}" ]; then
  QOLVI_MOUNTS_PRIVATE=1 exec unshare --mount -- bash "$0" "$@"
fi
lister="$1" client="$2"
source "$(dirname "${BASH_SOURCE[0]}")/../../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "${BASH_SOURCE[0]}")/compositors.sh"
source "$(dirname "${BASH_SOURCE[0]}")/watching.sh"
lister="$(reachable_copy "$lister")" client="$(reachable_copy "$client")"

# The entry that lets the lister bind the protocol, where KWin looks for the user's entries
# (through the applications menu start_kwin gives it).
mkdir -p "$work/home/.local/share/applications"
printf '[Desktop Entry]\nType=Application\nName=Lister\nExec=%s\nNoDisplay=true\nX-KDE-Wayland-Interfaces=org_kde_plasma_window_management\n' \
  "$lister" >"$work/home/.local/share/applications/org.example.Lister.desktop"
chown -R "$wayland_uid:$wayland_uid" "$work/home/.local"
# The same program at a path no entry lists.
cp "$lister" "$work/unlisted-lister"

start_user_bus
start_kwin "$work/unlisted-lister"
watch_windows "$lister" "source: org_kde_plasma_window_management, pids: protocol"
echo "ok: KWin gives its window management protocol, with PIDs, to the listed program"
expect_list "no windows yet" ""
[ "$("$as_user" "$work/unlisted-lister")" = "$(printf 'source: KWin script, pids: script\n.')" ] ||
  fail "a program no entry lists got '$("$as_user" "$work/unlisted-lister")'"
echo "ok: the same program at a path no entry lists gets the windows from a KWin script instead"
"$as_user" "$work/unlisted-lister" --watch >"$work/script-watch.out" 2>&1 &
script_watcher=$!
pids+=($script_watcher)
await 10 grep -qx . "$work/script-watch.out" || fail "the script's lister did not start"

# A small real Debian terminal; then a client whose ID only its window gives.
"$as_user" weston-terminal >"$work/terminal.log" 2>&1 &
terminal=$!
pids+=($terminal)
expect_list "a real terminal appears with its PID" "org.freedesktop.weston.wayland-terminal $terminal"
"$as_user" env QT_QPA_PLATFORM=wayland "$client" org.example.OnlyItsWindow 2 >"$work/client.log" 2>&1 &
client_pid=$!
pids+=($client_pid)
expect_list "two windows of another process appear after it" \
  "$(printf 'org.freedesktop.weston.wayland-terminal %s\norg.example.OnlyItsWindow %s\norg.example.OnlyItsWindow %s' \
    "$terminal" "$client_pid" "$client_pid")"
expect_same_list_at_once "$lister"
"$as_user" "$work/unlisted-lister" >"$work/script.out"
[ "$(head -n 1 "$work/script.out")" = "source: KWin script, pids: script" ] &&
  [ "$(sed '1d;$d' "$work/script.out" | sort)" = "$(last_list | sort)" ] ||
  fail "the KWin script lists other windows: $(cat "$work/script.out")"
echo "ok: the KWin script lists the same windows and PIDs"

# Any program of the session may call the script's lister as the script does; only KWin is heard.
bus() { "$as_user" gdbus call --timeout 5 --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus --method "org.freedesktop.DBus.$1" "${@:2}"; }
for name in $(bus ListNames | grep -o "':1\.[0-9]*'" | tr -d "'"); do
  [ "$(bus GetConnectionUnixProcessID "$name" | grep -o '[0-9][0-9]*' | tail -n 1)" = "$script_watcher" ] && watcher_name="$name"
done
[ -n "${watcher_name:-}" ] || fail "the script's lister is not on the session bus"
forged="$("$as_user" gdbus call --timeout 5 --session --dest "$watcher_name" --object-path /com/qolvi/DesktopAgent/KWinWindows \
  --method com.qolvi.DesktopAgent.KWinWindows.Windows "'[[\"org.example.Forged\", 1]]'" 2>&1 || true)"
[[ "$forged" == *AccessDenied* ]] || fail "the script's lister took a list from a program that is not KWin: $forged"

kill "$terminal"
expect_list "the closed terminal is gone, the other windows stay" \
  "$(printf 'org.example.OnlyItsWindow %s\norg.example.OnlyItsWindow %s' "$client_pid" "$client_pid")"
expect_list "the KWin script says so too" "$(last_list)" "$work/script-watch.out"
! grep -q org.example.Forged "$work/script-watch.out" || fail "the script's lister listed a forged window"
echo "ok: the script's lister hears KWin alone"
kill "$client_pid"
expect_list "no windows once both closed" ""

# Any program of the session may unload the script over the bus.
"$as_user" gdbus call --timeout 5 --session --dest org.kde.KWin --object-path /Scripting --method org.kde.kwin.Scripting.unloadScript \
  "qolvi-desktop-agent-windows-$script_watcher" | grep -qx '(true,)' || fail "the script could not be unloaded"
await 10 sh -c "! kill -0 $script_watcher 2>/dev/null" || fail "the script's lister did not notice that KWin no longer runs the script"
echo "ok: the script's lister notices that the script was unloaded"

kill "$compositor_pid"
await 10 sh -c "! kill -0 $watcher 2>/dev/null" || fail "the lister did not notice that KWin ended"
echo "ok: the lister ends with the compositor"
echo "PASS: KWin's windows with their PIDs as they come and go, by protocol or by script"
