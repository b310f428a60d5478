#!/bin/sh
# trhost validate's exit codes and output forms, on a module that passes and one that writes past its
# block. Usage: validate_exit_codes.sh TRHOST GOOD_LIBRARY BROKEN_LIBRARY
trhost=$1 good=$2 broken=$3
failures=0

expect() {  # expect CODE DESCRIPTION COMMAND...
  want=$1 what=$2
  shift 2
  "$@" >out.txt 2>err.txt
  got=$?
  if [ "$got" != "$want" ]; then
    echo "FAILED: $what: exit $got, expected $want"
    cat out.txt err.txt
    failures=$((failures + 1))
  fi
}

cd "$(mktemp -d)" || exit 1
expect 0 "a passing module" "$trhost" validate "$good" --seed 7
expect 1 "a module that writes past its block" "$trhost" validate "$broken" --only processing --seed 7
grep -q -- "reproduce: .*--seed 7 --only processing" out.txt || {
  echo "FAILED: a failure does not print the seed that reproduces it"; cat out.txt; failures=$((failures + 1)); }
expect 3 "a library that cannot be loaded" "$trhost" validate ./no-such-library.so
expect 2 "a pattern that selects no check" "$trhost" validate "$good" --only no-such-check
expect 0 "the list of checks" "$trhost" validate --list
grep -q "^processing " out.txt || { echo "FAILED: --list does not name the processing check"; failures=$((failures + 1)); }
expect 1 "JSON output of a failing run" "$trhost" validate "$broken" --only processing --json --seed 7
grep -q '"verdict": "FAIL"' out.txt && grep -q '"passed": false' out.txt || {
  echo "FAILED: --json does not report the failed check"; cat out.txt; failures=$((failures + 1)); }
exit $failures
