#!/usr/bin/env bash
# Every text the agent can show has a translation in every shipped language: lupdate reads the
# sources afresh into a copy of each translation file, and no message may be left unfinished or
# empty there. A new caption added without its translations fails here, not in front of a
# candidate. Usage: translations_complete.sh LUPDATE SOURCE_DIR TS_FILE...
set -euo pipefail

lupdate="$1" sources="$2"
shift 2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

failed=0
for ts in "$@"; do
  copy="$work/$(basename "$ts")"
  cp "$ts" "$copy"
  "$lupdate" -silent -no-obsolete -locations none "$sources" -ts "$copy" >"$work/lupdate.log" 2>&1 ||
    { cat "$work/lupdate.log"; exit 1; }
  # Each message with no finished translation, by its source text.
  missing="$(awk '/<source>/ { source = $0 } /<translation type="unfinished"|<translation><\/translation>|<translation\/>/ { print "  " source }' "$copy")"
  if [ -n "$missing" ]; then
    echo "FAIL: $(basename "$ts") has no translation of:"
    echo "$missing"
    failed=1
  fi
done
[ "$failed" = 0 ] && echo "PASS: $# languages translate every text"
exit "$failed"
