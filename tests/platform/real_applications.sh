#!/usr/bin/env bash
# Real applications that Debian ships, started as a desktop without a user manager starts them
# (their entry's Exec line, without GLib's launcher), each checked by what the real backend
# reports while it runs. Usage: real_applications.sh LIST_APPLICATIONS
set -euo pipefail

lister="$1"
source "$(dirname "${BASH_SOURCE[0]}")/../support/session.sh" --isolated "$@"
fail() { echo "FAIL: $*"; for log in "$work"/*.log; do echo "--- $log"; tail -n 20 "$log"; done; exit 1; }
start_xvfb
# A home of its own: the browser writes its profile there.
export HOME="$work/home"
mkdir -p "$HOME"
# As a desktop session does once its display runs: what the session bus starts (the terminal's
# server) finds the display too.
dbus-update-activation-environment DISPLAY || fail "the session bus took no DISPLAY"

# Each row: the desktop ID whose Exec line starts the application, the identifier expected, and
# "server" where the program the entry starts hands over to a server the bus starts and ends:
# the row is checked once it ended, by the server alone; "once" where the application starts
# helpers that leave it (the browser's crash helper): it is reported once while they run.
rows=(
  "org.gnome.Meld org.gnome.Meld"
  "org.xfce.mousepad org.xfce.mousepad"
  "org.xfce.mousepad-settings org.xfce.mousepad-settings"
  "debian-xterm debian-xterm"
  "debian-uxterm debian-uxterm"
  "org.gnome.Terminal org.gnome.Terminal server"
  "firefox-esr firefox-esr once"
)
failed=0
# What the private session bus started for an application, such as its server, ends with it.
bus_services_end() {
  local bus
  bus="$(pgrep -P "$PPID" -x dbus-daemon)" && pkill -P "$bus" || true
}
reported() { "$lister" >"$work/reported" && grep -qx "$1" "$work/reported"; }
reported_once() { "$lister" >"$work/reported" && [ "$(grep -cx "$1" "$work/reported")" = 1 ]; }
for row in "${rows[@]}"; do
  read -r entry expected server <<<"$row"
  file="/usr/share/applications/$entry.desktop"
  [ -f "$file" ] || fail "$entry is not installed (scripts/install-deps test installs it)"
  command="$(sed -n 's/^Exec=//p' "$file" | head -n 1 | sed 's/ %[a-zA-Z]//g')"
  setsid sh -c "exec $command" >"$work/$entry.log" 2>&1 &
  session=$!
  pids+=("$session")
  helper="^/usr/lib/firefox-esr/crashhelper $session "
  if [ "$server" = server ] && ! await 20 eval '! kill -0 "$session" 2>/dev/null'; then
    echo "not ok: $entry did not hand over to its server"
    failed=1
  elif [ "$server" = once ] && ! { await 30 pgrep -f "$helper" >/dev/null &&
    await 20 reported "$expected" && reported_once "$expected"; }; then
    echo "not ok: $entry is not reported once while its helper runs: $(tr '\n' ' ' <"$work/reported")"
    failed=1
  elif await 20 reported "$expected"; then
    echo "ok: $entry reports $expected"
  else
    echo "not ok: $entry reports none of $expected: $(tr '\n' ' ' <"$work/reported")"
    failed=1
  fi
  # The application's whole session, its helper that left it, and what the bus started for it,
  # end before the next.
  pkill -s "$session" || true
  pkill -f "$helper" || true
  bus_services_end
done

# What a candidate can forge around a program or hide it behind: each is still the program a
# system entry names.
mkdir -p "$work/system/applications" "$work/bin" "$work/data/flatpak"
export XDG_DATA_DIRS="$work/system:/usr/share"
printf '[Desktop Entry]\nType=Application\nName=Sleeper\nExec=/usr/bin/sleep\n' \
  >"$work/system/applications/org.example.Sleeper.desktop"
forged() {
  local expected="$1" claimed="$2"
  shift 2
  setsid "$@" >"$work/forged.log" 2>&1 &
  local session=$!
  pids+=("$session")
  # The program must still run when the last listing was taken, or a row whose program failed
  # would pass on whatever it happened to report while it lived.
  if await 20 reported "$expected" && ! grep -qx "$claimed" "$work/reported" &&
    kill -0 "$session" 2>/dev/null; then
    echo "ok: $expected, not $claimed"
  else
    echo "not ok: $expected forged as $claimed: $(tr '\n' ' ' <"$work/reported")"
    failed=1
  fi
  pkill -s "$session" || true
}
# A copy of an installed program without its build ID, launched as if from another entry.
objcopy --remove-section=.note.gnu.build-id /usr/bin/mousepad "$work/bin/notes"
forged org.xfce.mousepad debian-xterm env \
  GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/debian-xterm.desktop \
  sh -c 'export GIO_LAUNCHED_DESKTOP_FILE_PID=$$; exec "$0"' "$work/bin/notes"
# A root of its own whose sandbox record claims an allowed application's installed files.
printf '[Application]\nname=org.gnome.Meld\n\n[Instance]\napp-path=%s\n' "$work/data/flatpak" \
  >"$work/flatpak-info"
forged org.example.Sleeper org.gnome.Meld bwrap --ro-bind /usr /usr --symlink usr/lib /lib \
  --symlink usr/lib64 /lib64 --symlink usr/bin /bin --ro-bind "$work/flatpak-info" /.flatpak-info \
  /usr/bin/sleep 600
# A service that runs an interpreter (as GNOME Shell's extensions service runs GJS) names its
# script, never every program of that interpreter: a GJS application, whose #! line names the
# interpreter's link, is itself, and a script of the candidate's own is nothing.
mkdir -p "$work/system/dbus-1/services" "$work/share"
loop="import GLib from 'gi://GLib'; new GLib.MainLoop(null, false).run();"
echo "$loop" >"$work/share/org.gnome.Shell.Extensions"
printf '[D-BUS Service]\nName=org.gnome.Shell.Extensions\nExec=/usr/bin/gjs -m %s\n' \
  "$work/share/org.gnome.Shell.Extensions" >"$work/system/dbus-1/services/org.gnome.Shell.Extensions.service"
printf '[Desktop Entry]\nType=Application\nName=Extensions\nExec=gnome-extensions-app\n' \
  >"$work/system/applications/org.gnome.Shell.Extensions.desktop"
printf '#!/usr/bin/gjs -m\n%s\n' "$loop" >"$work/bin/weather"
chmod +x "$work/bin/weather"
printf '[Desktop Entry]\nType=Application\nName=Weather\nExec=%s\n' "$work/bin/weather" \
  >"$work/system/applications/org.example.Weather.desktop"
forged org.example.Weather org.gnome.Shell.Extensions "$work/bin/weather"
echo "$loop" >"$work/mine.js"
setsid /usr/bin/gjs -m "$work/mine.js" >"$work/mine.log" 2>&1 &
pids+=($!)
if await 10 pgrep -f "gjs -m $work/mine.js" >/dev/null && ! reported org.gnome.Shell.Extensions; then
  echo "ok: a script of the candidate's own under GJS names nothing"
else
  echo "not ok: a script of the candidate's own under GJS names $(tr '\n' ' ' <"$work/reported")"
  failed=1
fi
kill "${pids[-1]}"
# An interpreter that reads an application's script from its standard input.
forged org.gnome.Meld python3 sh -c 'exec /usr/bin/python3 - </usr/bin/meld'

# What a candidate shapes from an ordinary account, with xterm for a denied program and
# mousepad for an allowed one: each row runs as a user of its own (a UID no account has), as does
# the lister, and the program is named for the file it runs, never for the one it claims.
routes=0
if [ "$(id -u)" = 0 ]; then
  chmod 711 "$work"
  mine="$work/candidate"
  mkdir -m 755 "$mine" "$mine/app" "$mine/app/bin"
  export XDG_DATA_HOME="$work/datahome"
  as_candidate=(setpriv --reuid=4243 --regid=4243 --clear-groups)
  lister=("${as_candidate[@]}" "$(reachable_copy "$lister")")
  reported() { "${lister[@]}" >"$work/reported" && grep -qx "$1" "$work/reported"; }
  route() {
    routes=$((routes + 1))
    forged debian-xterm org.xfce.mousepad "${as_candidate[@]}" "$@"
  }
  route /lib64/ld-linux-x86-64.so.2 --argv0 /usr/bin/mousepad /usr/bin/xterm
  # A copy whose build ID is mousepad's.
  objcopy --dump-section .note.gnu.build-id="$work/note" /usr/bin/mousepad /dev/null
  objcopy --update-section .note.gnu.build-id="$work/note" /usr/bin/xterm "$mine/notes"
  chown 4243:4243 "$mine/notes"
  route "$mine/notes"
  # A copy that is no file at all, run from memory under mousepad's name.
  route /usr/bin/python3 -c "import os; fd = os.memfd_create('mousepad', 0)
os.write(fd, open('/usr/bin/xterm', 'rb').read()); os.execv(f'/proc/self/fd/{fd}', ['/usr/bin/mousepad'])"
  # Another file mounted at mousepad's path, in a mount namespace of the candidate's own: sleep,
  # since xterm cannot give its terminal to the tty group, which that namespace does not map;
  # then a copy of sleep, deleted once mounted, which only its content can tell.
  mounted() {
    routes=$((routes + 1))
    forged org.example.Sleeper org.xfce.mousepad "${as_candidate[@]}" unshare -rm sh -c "$1"
  }
  mounted 'mount --bind /usr/bin/sleep /usr/bin/mousepad && exec /usr/bin/mousepad 600'
  mkdir "$mine/mounted"
  cp /usr/bin/sleep "$mine/mounted/sleep"
  chown -R 4243:4243 "$mine/mounted"
  mounted "mount --bind $mine/mounted/sleep /usr/bin/mousepad && rm $mine/mounted/sleep &&
    exec /usr/bin/mousepad 600"
  # A system program replaced by an upgrade while it runs is still what it was.
  cp /usr/bin/sleep "$work/system/napper"
  printf '[Desktop Entry]\nType=Application\nName=Napper\nExec=%s\n' "$work/system/napper" \
    >"$work/system/applications/org.example.Napper.desktop"
  setsid "${as_candidate[@]}" "$work/system/napper" 600 >"$work/napper.log" 2>&1 &
  session=$!
  pids+=("$session")
  await 10 sh -c "readlink /proc/$session/exe | grep -q napper" || fail "the program to upgrade did not start"
  cp /usr/bin/tac "$work/system/napper.new"
  mv "$work/system/napper.new" "$work/system/napper"
  if await 20 reported org.example.Napper && kill -0 "$session"; then
    echo "ok: a program upgraded while it runs is still named"
  else
    echo "not ok: a program upgraded while it runs is not named: $(tr '\n' ' ' <"$work/reported")"
    failed=1
  fi
  pkill -s "$session" || true
  # A sandbox's record that claims mousepad as installed, in a root whose /app is the
  # candidate's folder.
  files="$XDG_DATA_HOME/flatpak/app/org.xfce.mousepad/x86_64/stable/c0/files"
  mkdir -p "$files/bin"
  cp /usr/bin/mousepad "$files/bin/mousepad"
  cp /usr/bin/xterm "$mine/app/bin/mousepad"
  chown -R 4243:4243 "$mine/app"
  printf '[Application]\nname=org.xfce.mousepad\n\n[Instance]\napp-path=%s\n' "$files" >"$mine/flatpak-info"
  route bwrap --ro-bind /usr /usr --symlink usr/lib /lib --symlink usr/lib64 /lib64 \
    --symlink usr/bin /bin --ro-bind /etc /etc --bind /tmp /tmp --proc /proc --dev /dev \
    --bind "$mine/app" /app --ro-bind "$mine/flatpak-info" /.flatpak-info /app/bin/mousepad
  # A folder of the candidate's first on the search path, with xterm under mousepad's name; and
  # a data folder of theirs first among the system's, whose entry takes mousepad's ID for
  # xterm with arguments of its own.
  mkdir -p "$mine/bin" "$mine/share/applications"
  cp /usr/bin/xterm "$mine/bin/mousepad"
  printf '[Desktop Entry]\nType=Application\nName=Notes\nExec=/usr/bin/xterm -T notes\n' \
    >"$mine/share/applications/org.xfce.mousepad.desktop"
  chown -R 4243:4243 "$mine"
  lister=(env PATH="$mine/bin:$PATH" "${lister[@]}")
  route "$mine/bin/mousepad"
  lister=(env XDG_DATA_DIRS="$mine/share:$XDG_DATA_DIRS" "${lister[@]:2}")
  route /usr/bin/xterm -T notes
  lister=("${lister[@]:2}")
  # A shell that execs xterm in place once the lister has seen it.
  routes=$((routes + 1))
  mkfifo -m 666 "$work/go"
  setsid "${as_candidate[@]}" sh -c "read x <'$work/go'; exec xterm" >"$work/exec.log" 2>&1 &
  session=$!
  pids+=("$session")
  await 10 pgrep -x -s "$session" sh >/dev/null || fail "the shell that execs did not start"
  coproc LISTER { "${lister[@]}" --each-line; }
  pids+=("$LISTER_PID")
  report() { local line; : >"$work/reported"; while read -r line <&"${LISTER[0]}"; do [ "$line" = . ] && return 0; echo "$line" >>"$work/reported"; done; }
  report
  echo x >"$work/go"
  if await 10 sh -c "readlink /proc/$session/exe | grep -qx /usr/bin/xterm" && echo >&"${LISTER[1]}" &&
    report && grep -qx debian-xterm "$work/reported"; then
    echo "ok: an exec in place is named at the next tick"
  else
    echo "not ok: an exec in place is not named at the next tick: $(tr '\n' ' ' <"$work/reported")"
    failed=1
  fi
  pkill -s "$session" || true
else
  echo "SKIP: a candidate's routes need a test run as root, to run them as another user"
fi
[ "$failed" = 0 ] || fail "some applications were not reported"
echo "PASS: ${#rows[@]} real applications reported by their desktop IDs, and $((4 + routes)) disguises seen through"
