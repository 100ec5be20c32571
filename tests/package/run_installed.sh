#!/usr/bin/env bash
# The installed agent started under X against the local exam service, in isolation: its window
# must map with the desktop entry's class, and the demo key typed into it must be accepted. A
# copy of it in a candidate's folder, as a patched one would be, shows the danger banner and
# sends nothing. Then the same agent on real compositors (below). Usage: run_installed.sh PORT
# (from the tree's top, after a dev configure and build of the service)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; for log in "$work"/*.log; do echo "--- $log"; cat "$log"; done; exit 1; }
port="$1"

start_xvfb
build/dev/tools/qolvi-exam-service --port "$port" --tls-cert build/dev/local-ca/server.pem \
  --tls-key build/dev/local-ca/server.key >"$work/service.log" 2>&1 &
pids+=($!)
window=""
find_window() { window="$(xdotool search --onlyvisible --class '^com\.qolvi\.DesktopAgent$' 2>/dev/null | head -n 1)"; [ -n "$window" ]; }

make_candidate
cp /usr/bin/qolvi-desktop-agent "$work/home/"
chown "$candidate:$candidate" "$work/home/qolvi-desktop-agent"
"$as_candidate" "$work/home/qolvi-desktop-agent" >"$work/copy.log" 2>&1 &
copy=$!
pids+=($copy)
await 20 find_window || fail "the copy's window did not map"
await 5 sh -c "xprop -id $window _NET_WM_ICON | grep -q 'Icon (64 x 64)'" || fail "no first frame of the copy"
press_key_button "$window"
await 5 banner_shows "$window" || fail "the copy's key button showed no danger banner"
kill -TERM "$copy"
wait "$copy" || fail "the copy did not quit cleanly"
[ ! -s "$work/copy.log" ] || fail "the copy wrote to its console"

/usr/bin/qolvi-desktop-agent >"$work/agent.log" 2>&1 &
pids+=($!)
await 20 find_window || fail "the installed agent's window did not map"
xprop -id "$window" WM_CLASS | tee "$work/wmclass.log"
grep -q '"com.qolvi.DesktopAgent"' "$work/wmclass.log" || fail "wrong window class"

# The icon comes once the first frame is on screen, and with it the key field's focus.
await 5 sh -c "xprop -id $window _NET_WM_ICON | grep -q 'Icon (64 x 64)'" || fail "no first frame"
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool type --delay 30 "QOLVI-DEMO-2026"
xdotool key Tab space
await 10 grep -q " for initAgent$" "$work/agent.log" || fail "the key was not sent"
grep -x "Status Code: 200 for initAgent" "$work/agent.log" || fail "the installed agent did not reach the service"
[ "$(grep -c "POST /tr/exam/InitDesktop" "$work/service.log")" -eq 1 ] || fail "the copy sent its key"
end_processes "${pids[-1]}"

# The installed agent on each real compositor, headless, as their unprivileged user starts it
# from its desktop entry, in a session set up as a candidate's is: the input method module and
# the GTK platform theme from the system's folders, which the agent's check of its own code must
# accept. The keyboard alone, the key then Tab and Space, sends it.
rm -rf "$work/home"
source tests/platform/wayland/compositors.sh
remote_keys="$(reachable_copy tests/package/remote_keys.py)"
# This script runs in the mount namespace of its certificate store, where the bus's account goes.
QOLVI_MOUNTS_PRIVATE=1 start_user_bus
session_env=(env -u DISPLAY XDG_SESSION_TYPE=wayland QT_IM_MODULE=ibus QT_QPA_PLATFORMTHEME=gtk3)
launch_agent() {
  "$as_user" "${session_env[@]}" gio launch /usr/share/applications/com.qolvi.DesktopAgent.desktop >"$work/launched.log" 2>&1 &
  pids+=($!)
}
accepted() { [ "$(grep -c "POST /tr/exam/InitDesktop 200 accepted" "$work/service.log")" -eq "$1" ]; }
sway_focused() {
  "$as_user" swaymsg -s "$SWAYSOCK" -t get_tree | /usr/bin/python3 -c 'import json, sys
def focused(node): return node if node["focused"] else next(filter(None, map(focused, node["nodes"] + node["floating_nodes"])), None)
sys.exit(focused(json.load(sys.stdin)).get("app_id") != "com.qolvi.DesktopAgent")'
}

unset SWAYSOCK
start_sway
launch_agent
await 20 sway_focused || fail "sway: the agent's window took no focus"
# Sway focuses the window as it maps, before Qt has given the key field its focus: the first keys
# can miss the field (five runs of seven here), so the key is typed again over all of it.
"$as_user" wtype -d 30 QOLVI-DEMO-2026 -M ctrl a -m ctrl QOLVI-DEMO-2026 -k Tab -k space
await 10 accepted 2 || fail "sway: the keyboard sent no accepted key"
echo "ok: sway: the installed agent launched from its entry sends the key typed, Tab, Space"
end_processes "$compositor_pid"
rm -f "$work/wayland/"wayland-*

# KWin offers no virtual keyboard; keys come through its fake input, as a remote-input helper of a
# Plasma session presses them, which KWin gives only to a program an installed entry lists with it.
mkdir -p "$work/home/.local/share/applications"
cp build/dev/tests/package/kwin_keys "$work/kwin_keys"
printf '[Desktop Entry]\nType=Application\nName=Keys\nExec=%s\nNoDisplay=true\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n' \
  "$work/kwin_keys" >"$work/home/.local/share/applications/org.example.Keys.desktop"
chown -R "$wayland_uid:$wayland_uid" "$work/home/.local"
lister="$(reachable_copy "$PWD/build/dev/tests/platform/wayland/list_toplevels")"
start_kwin "$lister"
launch_agent
kwin_lists_agent() { "$as_user" "$lister" | grep -q '^com\.qolvi\.DesktopAgent '; }
await 20 kwin_lists_agent || fail "KWin: the agent's window did not show"
# As on sway, the window shows before Qt has given the key field its focus.
"$as_user" "$work/kwin_keys" QOLVI-DEMO-2026 ctrl+a QOLVI-DEMO-2026 Tab space || fail "KWin: no fake input for the keys"
await 10 accepted 3 || fail "KWin: the keyboard sent no accepted key"
echo "ok: KWin: the installed agent launched from its entry sends the key typed, Tab, Space"
end_processes "$compositor_pid"
rm -f "$work/wayland/"wayland-*

# GNOME Shell runs as a login has it, its logind hidden and a system bus on which nothing
# answers; keys come through Mutter's remote desktop, as a remote helper's would.
[ ! -d /run/systemd ] || mount -t tmpfs tmpfs /run/systemd
"$as_user" dbus-daemon --session --address="unix:path=$work/wayland/system_bus" --nofork --nopidfile >"$work/system_bus.log" 2>&1 &
pids+=($!)
await 10 test -S "$work/wayland/system_bus" || fail "no system bus for GNOME Shell"
"$as_user" env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/wayland/system_bus" gnome-shell --headless --wayland \
  --virtual-monitor 1280x800 --wayland-display wayland-gnome >"$work/shell.log" 2>&1 &
pids+=($!)
await 60 test -S "$work/wayland/wayland-gnome" || fail "GNOME Shell did not start"
export WAYLAND_DISPLAY=wayland-gnome
coproc keys { "$as_user" /usr/bin/python3 "$remote_keys" 2>"$work/keys.log"; }
pids+=($!)
press() { echo "$1" >&"${keys[1]}"; read -t 60 -r reply <&"${keys[0]}" && [ "$reply" = "$2" ] || fail "GNOME Shell: no remote-desktop keys for '$1'"; }
read -t 90 -r reply <&"${keys[0]}" && [ "$reply" = started ] || fail "GNOME Shell: no remote-desktop session"
# The shell starts in its overview, whose search holds the keys: a candidate leaves it first, so
# the Escape is theirs too; a key pressed while the overview opens is lost.
overview() { "$as_user" gdbus call --timeout 5 --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
  --method org.freedesktop.DBus.Properties.Get org.gnome.Shell OverviewActive | grep -q "<$1>"; }
await 60 overview true || fail "GNOME Shell: the session did not start in the overview"
press Escape sent
await 10 overview false || fail "GNOME Shell: Escape did not leave the overview"
launch_agent
await 30 "$as_user" /usr/bin/python3 "$remote_keys" --focused com.qolvi.DesktopAgent || fail "GNOME Shell: the agent's window took no focus"
# As on sway and KWin, the shell focuses the window before Qt has given the key field its focus.
press "QOLVI-DEMO-2026 ctrl+a QOLVI-DEMO-2026 Tab space" sent
await 10 accepted 4 || fail "GNOME Shell: the keyboard sent no accepted key"
echo "ok: GNOME Shell: the installed agent launched from its entry sends the key typed, Tab, Space"
