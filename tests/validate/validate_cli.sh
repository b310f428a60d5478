#!/bin/sh
# trhost validate's command line for CI, on each target (the Windows one under wine): `list --json`
# against `--list`, the help of each build naming only the commands it has, and --only-failed with
# the record every run writes.
# Usage: validate_cli.sh linux|windows GOOD_LIBRARY CRASHING_LIBRARY HANGING_LIBRARY TRHOST [ARGUMENT...]
# (the gain fixture built correctly, built to crash on NaN input and to hang on a huge gain; TRHOST
# and its arguments: the program, or an emulator and the program; paths without spaces.)
set -u
platform=$1 good=$2 crashing=$3 hanging=$4
shift 4
program="$*"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# run CODE DESCRIPTION ARGUMENT...: trhost with the arguments must exit with CODE. Its output is left
# in out.txt and err.txt, without the carriage returns of the Windows build.
run() {
  want=$1 what=$2
  shift 2
  $program "$@" >out.raw 2>err.raw
  got=$?
  tr -d '\r' <out.raw >out.txt
  tr -d '\r' <err.raw >err.txt
  if [ "$got" != "$want" ]; then
    fail "$what: exit $got, expected $want"
    cat out.txt err.txt
  fi
}

cd "$(mktemp -d)" || exit 1

# `list --json` names every check `--list` names, with its description and a level, in the same order.
run 0 "the list of checks" validate --list
mv out.txt list.txt
run 0 "the list of checks as JSON" validate list --json
python3 -c '
import json, re
listed = [re.match(r"(\S+) +(.*)$", line).groups() for line in open("list.txt") if line.strip()]
document = json.load(open("out.txt"))
assert isinstance(document, list), document
assert [(c["name"], c["description"]) for c in document] == listed, (document, listed)
assert all(c["level"] in (1, 2, 3) for c in document), document
assert len(listed) > 20, listed
' || fail "validate list --json does not give every check of --list with its description and level"
run 0 "a narrowed list as JSON" validate list --json --only 'open-close*'
python3 -c '
import json
assert [c["name"] for c in json.load(open("out.txt"))] == ["open-close", "open-close-cycles"]
' || { fail "validate list --json --only does not narrow the list"; cat out.txt; }

# The help names the commands of this build and the exit codes they give: render, patch and analyze
# (and their exit codes, such as 9 for an audio file) only where they are built, on Linux.
run 0 "the help" --help
commands=$(sed -n '/^Subcommands:/,/^$/p' out.txt | awk 'NF { print $1 }' | tr '\n' ' ')
summary=$(head -n 1 out.txt)
if [ "$platform" = linux ]; then
  want="Subcommands: describe render patch analyze validate new "
  case $summary in *"render, patch, analyze"*) ;; *) fail "the help's first line leaves out render, patch or analyze: $summary" ;; esac
  grep -q "; 9 an audio file" out.txt || fail "the help leaves out exit code 9"
else
  want="Subcommands: describe validate new "
  case $summary in *render* | *patch* | *analyze*) fail "the help's first line names a command trhost.exe lacks: $summary" ;; esac
  grep -q "; 9 an audio file\|render" out.txt && fail "the help names what trhost.exe lacks: $(grep -o '; 9 [^;]*\|.*render.*' out.txt)"
fi
[ "$commands" = "$want" ] || fail "the help lists \"$commands\", not \"$want\""
# A command of the other build still answers that it is not part of this one.
[ "$platform" = linux ] || run 8 "render in trhost.exe" render nothing.dll

# --only-failed. A library that fails some checks and crashes in others: every run records its
# verdicts, check by check, and a run of the same build with --only-failed runs exactly the checks
# that did not pass (CRASH among them), at the same level and with the same seed.
suffix=${crashing##*.}
cp "$crashing" "module.$suffix"
library=$(pwd)/module.$suffix
# verdicts FILE: "name=VERDICT ..." of a --json report, and the run's seed and level.
verdicts() {
  python3 -c '
import json, sys
document = json.load(open(sys.argv[1]))
print(" ".join("%s=%s" % (c["name"], c["verdict"]) for c in document["checks"]))
print(document["seed"], document["level"])' "$1"
}
run 1 "the crashing fixture" validate "$library" --level 1 --json
verdicts out.txt >first.txt
grep -q "=CRASH" first.txt || fail "the crashing fixture did not crash: $(cat first.txt)"
python3 -c '
import json
record = json.load(open(".trhost-validate.json"))
[entry] = record["libraries"].values()
assert any(kept["verdict"] == "CRASH" for kept in entry["checks"].values()), entry
' || fail "the record does not keep the checks that crashed"
run 1 "the crashing fixture again, with --only-failed" validate "$library" --only-failed --json
verdicts out.txt >again.txt
not_passed=$(head -n 1 first.txt | tr ' ' '\n' | grep -v "=PASS\|=SKIP" | tr '\n' ' ')
rerun=$(head -n 1 again.txt | tr ' ' '\n' | tr '\n' ' ')
[ -n "$not_passed" ] && [ "$rerun" = "$not_passed" ] ||
  fail "--only-failed ran \"$rerun\", not the checks that did not pass: \"$not_passed\""
[ "$(tail -n 1 again.txt)" = "$(tail -n 1 first.txt)" ] ||
  fail "--only-failed ran with seed and level $(tail -n 1 again.txt), not those of the run before: $(tail -n 1 first.txt)"
grep -q "have not passed at level 1" err.txt || { fail "--only-failed does not say what it runs"; cat err.txt; }

# The library is rebuilt (here: replaced by the correct one): every check runs again, and the run
# says why in one line.
cp "$good" "module.$suffix"
run 0 "the rebuilt library with --only-failed" validate "$library" --only-failed --level 1 --json
verdicts out.txt >rebuilt.txt
[ "$(head -n 1 rebuilt.txt | wc -w)" = "$(head -n 1 first.txt | wc -w)" ] ||
  fail "--only-failed after a rebuild ran $(head -n 1 rebuilt.txt), not every check"
[ "$(grep -c "changed since its last recorded run: running every check" err.txt)" = 1 ] ||
  { fail "--only-failed after a rebuild does not say in one line that it runs every check"; cat err.txt; }
# Now that every check has passed, nothing is left to run.
run 0 "--only-failed when all passed" validate "$library" --only-failed
grep -q "nothing to run" err.txt && grep -q "^0 checks" out.txt ||
  { fail "--only-failed runs checks that passed"; cat out.txt err.txt; }

# A record elsewhere (--record), one that cannot be written, and a file that is no record: the
# verdicts still decide the exit code, and a file that is no record is left as it is.
run 0 "a record named with --record" validate "$library" --only exports --record kept.json
[ -s kept.json ] || fail "--record kept.json wrote nothing there"
run 0 "a record that cannot be written" validate "$library" --only exports --record no/such/folder/r.json
grep -q "warning: .*not recorded" err.txt || { fail "an unwritable record is not said"; cat err.txt; }
printf '<testsuites/>\n' >results.xml
run 0 "a file that is no record" validate "$library" --only exports --record results.xml
[ "$(cat results.xml)" = "<testsuites/>" ] || fail "a file that is no record was written over"

# A run killed halfway (as by a CI job's timeout) keeps the verdicts it came to: the record is
# written after every check. On Linux, where the whole run is one process group to kill.
if [ "$platform" = linux ]; then
  setsid $program validate "$hanging" --only exports,pins,bad-input --record killed.json >/dev/null 2>&1 &
  group=$!
  waited=0
  until grep -q '"pins"' killed.json 2>/dev/null || [ $waited -ge 300 ]; do sleep 0.1; waited=$((waited + 1)); done
  kill -9 -"$group"
  wait "$group" 2>/dev/null
  python3 -c '
import json
[entry] = json.load(open("killed.json"))["libraries"].values()
assert entry["checks"]["exports"]["verdict"] == "PASS" and entry["checks"]["pins"]["verdict"] == "PASS", entry
assert "bad-input" not in entry["checks"], entry
' || fail "a run killed in its third check did not keep the verdicts of the first two"
  # So --only-failed runs the check that was under way (and fails it as hung, at once).
  run 1 "--only-failed after a killed run" validate "$hanging" --only exports,pins,bad-input --record killed.json \
    --only-failed --timeout 1 --json
  [ "$(verdicts out.txt | head -n 1)" = "bad-input=FAIL" ] ||
    fail "--only-failed after a killed run ran $(verdicts out.txt | head -n 1), not the check under way"
fi

exit $failures
