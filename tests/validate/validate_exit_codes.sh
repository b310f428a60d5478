#!/bin/sh
# trhost validate's exit codes and output forms (text, JSON, JUnit XML), its levels and its help, on a
# module that passes and one that writes past its block.
# Usage: validate_exit_codes.sh TRHOST GOOD_LIBRARY BROKEN_LIBRARY
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
check() {  # check DESCRIPTION COMMAND...: the command must succeed
  what=$1
  shift
  "$@" || { echo "FAILED: $what"; cat out.txt; failures=$((failures + 1)); }
}

expect 3 "JSON output when the library cannot be loaded" "$trhost" validate ./no-such-library.so --json
check "--json answers in JSON when the library cannot be loaded" python3 -c '
import json
document = json.load(open("out.txt"))
assert document["passed"] is False and "no-such-library.so" in document["error"], document'

expect 1 "a JUnit report of a failing run" "$trhost" validate "$broken" --only processing,exports --seed 7 --junit report.xml
check "--junit writes well-formed JUnit XML that names the failure" python3 -c '
import xml.etree.ElementTree as tree
root = tree.parse("report.xml").getroot()
assert root.tag == "testsuites" and root.get("tests") == "2" and root.get("failures") == "1", root.attrib
cases = {case.get("name"): case for case in root.iter("testcase")}
assert set(cases) == {"processing", "exports"}, cases
failure = cases["processing"].find("failure")
assert failure is not None and "write outside the block" in failure.get("message"), failure
assert "--seed 7 --only processing" in failure.text
assert cases["exports"].find("failure") is None'
expect 0 "a JUnit report of a passing run at the quickest level" "$trhost" validate "$good" --level 1 --seed 7 --junit report.xml
check "--junit of a passing run" python3 -c '
import xml.etree.ElementTree as tree
root = tree.parse("report.xml").getroot()
assert root.get("failures") == "0" and root.get("errors") == "0" and int(root.get("tests")) > 10, root.attrib
levels = [p.get("value") for p in root.iter("property") if p.get("name") == "level"]
assert levels == ["1"], levels'
expect 7 "a JUnit report that cannot be written" "$trhost" validate "$good" --only exports --junit /no/such/dir/report.xml
expect 2 "a level that does not exist" "$trhost" validate "$good" --level 4
expect 0 "the help" "$trhost" validate --help
grep -q -- "--timeout.*60" out.txt && grep -q -- "--level.*2" out.txt || {
  echo "FAILED: --help does not show the default timeout and level"; cat out.txt; failures=$((failures + 1)); }
exit $failures
