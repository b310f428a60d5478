#!/usr/bin/env bash
# Runs the test that lives instances on several threads at once under a valgrind thread checker; any
# report (a data race, a lock misused) fails the run.
#
#   scripts/threadcheck.sh [helgrind|drd]
#
# helgrind by default. Build first: cmake --preset linux-x86 && cmake --build --preset linux-x86. The
# log goes to build/linux-x86/threadcheck/<tool>.log.
set -uo pipefail
cd "$(dirname "$0")/.."

build=build/linux-x86
tool=${1:-helgrind}
program="$build/reliability_threaded_test"
if [ ! -x "$program" ]; then
  echo "threadcheck: $program is not built; build the linux-x86 preset first" >&2
  exit 1
fi

mkdir -p "$build/threadcheck"
log="$build/threadcheck/$tool.log"
start=$SECONDS
valgrind --tool="$tool" --error-exitcode=1 --num-callers=30 "$program" >"$log" 2>&1
status=$?
if [ "$status" = 0 ]; then
  echo "threadcheck: $tool clean ($((SECONDS - start)) s)"
else
  echo "threadcheck: $tool FAILED (exit $status); log: $log" >&2
  grep -E 'Possible data race|Conflicting|lock order|FAILED' "$log" | head -20 >&2
  exit 1
fi
