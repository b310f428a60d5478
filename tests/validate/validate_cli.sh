#!/bin/sh
# trhost validate's command line for CI, on each target (the Windows one under wine): `list --json`
# against `--list`, and the help of each build naming only the commands it has.
# Usage: validate_cli.sh linux|windows TRHOST [ARGUMENT...]
# (TRHOST and its arguments: the program, or an emulator and the program; paths without spaces.)
set -u
platform=$1
shift
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

exit $failures
