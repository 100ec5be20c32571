#!/usr/bin/env bash
# What the real backend reports on a real headless compositor whose windows it reads natively:
# each row starts one real Wayland client, waits until the compositor lists its window, and
# checks what the backend then adds. A terminal its program names stays named so, whatever its
# window claims; a program no entry knows is named by its window alone.
# Usage: wayland_applications.sh sway|kwin LIST_APPLICATIONS LIST_TOPLEVELS WAYLAND_WINDOW_CLIENT
#        NAMED_CLIENT (the same client built apart, so that the first is no copy of it)
set -euo pipefail

if [ "$1" = kwin ] && [ -z "${QOLVI_MOUNTS_PRIVATE:-}" ] && [ "$(id -u)" -eq 0 ]; then
  # The session bus of the compositor's user needs an account, added in a mount namespace.
  QOLVI_MOUNTS_PRIVATE=1 exec unshare --mount -- bash "$0" "$@"
fi
compositor="$1" applications="$(realpath "$2")" toplevels="$(realpath "$3")" client="$(realpath "$4")" named="$(realpath "$5")"
source "$(dirname "${BASH_SOURCE[0]}")/../../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "${BASH_SOURCE[0]}")/compositors.sh"
applications="$(reachable_copy "$applications")" toplevels="$(reachable_copy "$toplevels")"

# System entries of the test's own, for a window's ID to match, readable by the compositor's user.
mkdir -p "$work/system/applications" "$work/bin"
export XDG_DATA_DIRS="$work/system:/usr/share"
printf '[Desktop Entry]\nType=Application\nName=Viewer\nExec=viewer\nStartupWMClass=Fixture-Viewer\n' \
  >"$work/system/applications/org.example.Viewer.desktop"
printf '[Desktop Entry]\nType=Application\nName=Tool\nExec=tool\n' >"$work/system/applications/tool.desktop"
# A native application its program names, which an entry runs, in a folder of its own (a
# program beside an application's is its helper).
mkdir -p "$work/named"
cp "$named" "$work/named/named"
printf '[Desktop Entry]\nType=Application\nName=Named\nExec=%s\n' "$work/named/named" \
  >"$work/system/applications/org.example.Named.desktop"
chmod -R a+rX "$work/system" "$work/bin" "$work/named"
# The terminal's own entry: the one that runs its program, whatever the release names it.
terminal_id="$(basename "$(grep -lx 'Exec=foot' /usr/share/applications/*.desktop | head -n 1)" .desktop)"

case "$compositor" in
  sway) start_sway ;;
  kwin)
    # KWin lists its windows to the program an installed entry lists with the interface.
    mkdir -p "$work/home/.local/share/applications"
    for program in "$applications" "$toplevels"; do
      printf '[Desktop Entry]\nType=Application\nName=Lister\nExec=%s\nNoDisplay=true\nX-KDE-Wayland-Interfaces=org_kde_plasma_window_management\n' \
        "$program" >"$work/home/.local/share/applications/lister-$(basename "$program").desktop"
    done
    chown -R "$wayland_uid:$wayland_uid" "$work/home/.local"
    start_user_bus
    start_kwin "$toplevels"
    [ "$("$as_user" "$toplevels" | head -n 1)" = "source: org_kde_plasma_window_management, pids: protocol" ] ||
      fail "KWin does not give its window management protocol to the programs its entries list"
    ;;
  *) fail "no compositor $compositor" ;;
esac

failed=0
row=0
# Starts the rest of the command line as the compositor's user, waits until the compositor
# lists a window with the ID $2, and checks that the backend SCANNER ($1) then adds exactly $3
# ("-" for none).
check() {
  local scanner="$1" app_id="$2" expected="$3"
  shift 3
  row=$((row + 1))
  before="$($scanner | sort)"
  "$as_user" "$@" >"$work/row-$row.log" 2>&1 &
  pids+=($!)
  await 20 sh -c "'$as_user' '$toplevels' | grep -q '^$app_id '" ||
    fail "row $row: no window $app_id: $(cat "$work/row-$row.log")"
  added="$(comm -13 <(echo "$before") <($scanner | sort) | tr '\n' ' ')"
  if [ "${added% }" = "${expected/#-/}" ]; then
    echo "ok: $compositor: ${*##*/} with window $app_id names $expected"
  else
    echo "not ok: $compositor: ${*##*/} with window $app_id names '${added% }', not $expected"
    failed=1
  fi
  end_processes "${pids[-1]}"
  await 20 sh -c "! '$as_user' '$toplevels' | grep -q '^$app_id '" || fail "row $row: the window stays"
}
# A copy of the Qt client, at a path no entry knows, showing one window with the ID given.
window_client() {
  cp "$client" "$work/bin/client-$((row + 1))"
  echo env QT_QPA_PLATFORM=wayland "$work/bin/client-$((row + 1))" "$1"
}

scanner="$as_user $applications"
# Each row: the window's ID, what the backend adds ("-" for none), the program.
check "$scanner" org.example.Named org.example.Named env QT_QPA_PLATFORM=wayland "$work/named/named" org.example.Named
check "$scanner" org.example.Claimed org.example.Named env QT_QPA_PLATFORM=wayland "$work/named/named" org.example.Claimed
check "$scanner" org.example.OnlyItsWindow org.example.OnlyItsWindow $(window_client org.example.OnlyItsWindow)
check "$scanner" tool tool $(window_client tool)
check "$scanner" Fixture-Viewer org.example.Viewer $(window_client Fixture-Viewer)
check "$scanner" unknown - $(window_client unknown)
if [ "$compositor" = sway ]; then
  # A real Debian terminal, whose program its package's entry names (it does not start on
  # KWin's virtual output).
  check "$scanner" foot "$terminal_id" foot sleep 600
  check "$scanner" org.example.Claimed "$terminal_id" foot --app-id=org.example.Claimed sleep 600
fi

if [ "$compositor" = sway ]; then
  # A wlroots compositor that does not say whose window is whose: a window names one more
  # instance of its application, unless a process already is one.
  mkdir -m 700 "$work/no-ipc"
  chown "$wayland_uid:$wayland_uid" "$work/no-ipc"
  blind="$as_user env -u SWAYSOCK XDG_RUNTIME_DIR=$work/no-ipc WAYLAND_DISPLAY=$work/wayland/$WAYLAND_DISPLAY $applications"
  check "$blind" org.example.OnlyItsWindow org.example.OnlyItsWindow $(window_client org.example.OnlyItsWindow)
  check "$blind" foot "$terminal_id" foot sleep 600
  check "$blind" tool tool $(window_client tool)
fi
if [ "$compositor" = kwin ]; then
  # A program no entry lists: KWin refuses it the protocol, and a KWin script says the same.
  cp "$applications" "$work/unlisted-applications"
  scripted="$as_user $work/unlisted-applications"
  check "$scripted" org.example.OnlyItsWindow org.example.OnlyItsWindow $(window_client org.example.OnlyItsWindow)
  check "$scripted" org.example.Claimed org.example.Named env QT_QPA_PLATFORM=wayland "$work/named/named" org.example.Claimed
fi
[ "$failed" = 0 ] || fail "some rows name other applications"
echo "PASS: $compositor's windows name what only they name, never what a program names"
