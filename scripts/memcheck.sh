#!/usr/bin/env bash
# Runs test programs of the linux-x86 build under valgrind's memcheck: any invalid access, use of an
# uninitialised value or definitely lost block fails the run.
#
#   scripts/memcheck.sh [PROGRAM...]
#
# A PROGRAM is a path, or the name of a program in build/linux-x86. By default: the bad-input lives
# (reliability_life_test) and every end-to-end test program that is built (host_test, *e2e*_test).
# Build first: cmake --preset linux-x86 && cmake --build --preset linux-x86. Logs go to
# build/linux-x86/memcheck/<program>.log.
set -uo pipefail
cd "$(dirname "$0")/.."

build=build/linux-x86
programs=("$@")
if [ "${#programs[@]}" = 0 ]; then
  for candidate in "$build"/reliability_life_test "$build"/host_test "$build"/*e2e*_test; do
    [ -x "$candidate" ] && programs+=("$candidate")
  done
fi
if [ "${#programs[@]}" = 0 ]; then
  echo "memcheck: nothing to run in $build; build the linux-x86 preset first" >&2
  exit 1
fi

mkdir -p "$build/memcheck"
failed=()
for program in "${programs[@]}"; do
  [ -x "$program" ] || program="$build/$program"
  name=$(basename "$program")
  log="$build/memcheck/$name.log"
  start=$SECONDS
  valgrind --tool=memcheck --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
    --show-leak-kinds=definite --track-origins=yes --num-callers=30 "$program" >"$log" 2>&1
  status=$?
  if [ "$status" = 0 ]; then
    echo "memcheck: $name clean ($((SECONDS - start)) s)"
  else
    echo "memcheck: $name FAILED (exit $status); log: $log" >&2
    grep -E '^==[0-9]+== (Invalid|Conditional|Use of|Syscall|Mismatched|.*definitely lost)|FAILED' "$log" |
      head -20 >&2
    failed+=("$name")
  fi
done

if [ "${#failed[@]}" != 0 ]; then
  echo "memcheck: failed: ${failed[*]}" >&2
  exit 1
fi
