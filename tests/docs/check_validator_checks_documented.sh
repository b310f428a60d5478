#!/bin/sh
# Every check `trhost validate --list` names has its entry in the checks' page, and every entry there
# names a check that exists: an entry is a heading "### `NAME`".
# Usage: check_validator_checks_documented.sh PAGE LIBRARY TRHOST [ARGUMENT...]
# (TRHOST and its arguments: the program, or an emulator and the program.)
set -u
page=$1
library=$2
shift 2

listed=$("$@" validate "$library" --list) || { echo "trhost validate --list failed"; exit 1; }
checks=$(printf '%s\n' "$listed" | tr -d '\r' | awk 'NF { print $1 }' | sort)
entries=$(sed -n 's/^### `\([^`]*\)`[[:space:]]*$/\1/p' "$page" | sort)
[ -n "$checks" ] || { echo "trhost validate --list named no checks"; exit 1; }

status=0
for check in $checks; do
  printf '%s\n' "$entries" | grep -qx -- "$check" || {
    echo "$page has no entry for the check \"$check\" (add a heading: ### \`$check\`)"
    status=1
  }
done
for entry in $entries; do
  printf '%s\n' "$checks" | grep -qx -- "$entry" || {
    echo "$page has an entry for \"$entry\", which trhost validate --list does not name"
    status=1
  }
done
duplicates=$(printf '%s\n' "$entries" | uniq -d)
[ -z "$duplicates" ] || { echo "$page has more than one entry for: $duplicates"; status=1; }
[ "$status" = 0 ] && echo "$(printf '%s\n' "$checks" | wc -l) checks, each with its entry"
exit $status
