# Sourced after tests/support/session.sh: a lister that watches the windows of a source, and
# checks of what it printed. `as_user` runs a program as the user the compositor runs as.

# The lister's output, as it watches: the last complete list it printed, one "APP_ID PID" a line;
# of the lister watch_windows started, or of the one whose output is in the file given.
last_list() {
  awk 'NR == 1 { next } /^\.$/ { list = current; current = ""; next } { current = current $0 "\n" }
       END { printf "%s", list }' "${1:-$work/watch.out}"
}
list_is() { [ "$(last_list "${2:-}")" = "$1" ]; }
# Where the source's order is the compositor's own (GNOME Shell's), the lists as sets.
if [ -n "${QOLVI_LIST_UNORDERED:-}" ]; then
  list_is() { [ "$(last_list "${2:-}" | sort)" = "$(printf '%s' "$1" | sort)" ]; }
fi
expect_list() {
  local what="$1" expected="$2" output="${3:-}"
  if await 10 list_is "$expected" "$output"; then
    echo "ok: $what"
  else
    echo "not ok: $what: the source lists"; last_list "$output"; echo "instead of"; echo "$expected"
    fail "$what"
  fi
}

# Starts LISTER --watch as the compositor's user and checks the first line it prints.
watch_windows() {
  local lister="$1" header="$2"
  # The file of an earlier watcher goes first: the new one empties it only once it has started.
  rm -f "$work/watch.out"
  "$as_user" "$lister" --watch >"$work/watch.out" 2>"$work/watch.err" &
  watcher=$!
  pids+=($watcher)
  await 10 grep -qx . "$work/watch.out" || fail "the lister did not connect: $(cat "$work/watch.out" "$work/watch.err")"
  [ "$(head -n 1 "$work/watch.out")" = "$header" ] ||
    fail "the source is '$(head -n 1 "$work/watch.out")'; the compositor said: $(grep -ih 'desktop file\|interfaces' "$work"/*.log || true)"
}

# Checks that a new connection sees the same windows as the watching lister; a compositor
# announces the windows already shown in an order of its own.
expect_same_list_at_once() {
  "$as_user" "$1" >"$work/once.out"
  [ "$(sed '1d;$d' "$work/once.out" | sort)" = "$(last_list | sort)" ] && [ "$(tail -n 1 "$work/once.out")" = . ] ||
    fail "a new connection sees another list: $(cat "$work/once.out")"
  echo "ok: a new connection sees the same list at once"
}
