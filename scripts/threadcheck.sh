#!/usr/bin/env bash
# Runs the test that lives instances on several threads at once, and trhost validate's threads check
# on the built module, under a valgrind thread checker; any report (a data race, a lock misused) fails
# the run.
#
#   scripts/threadcheck.sh [helgrind|drd]
#
# helgrind by default. Build first: cmake --preset linux-x86 && cmake --build --preset linux-x86. The
# logs go to build/linux-x86/threadcheck/<tool>.log and <tool>-validate.log.
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
status=0

log="$build/threadcheck/$tool.log"
start=$SECONDS
valgrind --tool="$tool" --error-exitcode=1 --num-callers=30 "$program" >"$log" 2>&1
if [ "$?" = 0 ]; then
  echo "threadcheck: $tool clean ($((SECONDS - start)) s)"
else
  echo "threadcheck: $tool FAILED; log: $log" >&2
  grep -E 'Possible data race|Conflicting|lock order|FAILED' "$log" | head -20 >&2
  status=1
fi

# The check runs in a child process of trhost, which valgrind follows; each process writes its own
# error summary, so the log is read rather than the exit status. The quickest level keeps the run
# short under the checker's slowdown, and the timeout allows for it.
log="$build/threadcheck/$tool-validate.log"
start=$SECONDS
valgrind --tool="$tool" --num-callers=30 "$build/trhost" validate "$build/vexlo.so" --only threads --level 1 \
  --seed 1 --timeout 600 >"$log" 2>&1
validate_status=$?
if [ "$validate_status" = 0 ] && ! grep -q 'ERROR SUMMARY: [1-9]' "$log"; then
  echo "threadcheck: $tool on trhost validate --only threads clean ($((SECONDS - start)) s)"
else
  echo "threadcheck: $tool on trhost validate --only threads FAILED (exit $validate_status); log: $log" >&2
  grep -E 'Possible data race|Conflicting|lock order|FAIL|ERROR SUMMARY' "$log" | head -20 >&2
  status=1
fi
exit $status
