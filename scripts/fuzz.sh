#!/usr/bin/env bash
# Runs each fuzz target for a bounded time, starting from its seed corpus.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# SECONDS defaults to 60 per target; TARGETs default to every build/linux-x86-fuzz/fuzz_* program
# (build them first: cmake --preset linux-x86-fuzz && cmake --build --preset linux-x86-fuzz).
# New inputs go to build/linux-x86-fuzz/corpus/<target>, never into the seeds in fuzz/corpus; a crash
# or sanitizer report stops that target, leaves its input in build/linux-x86-fuzz/artifacts/ and makes
# the script fail. Reproduce one with: build/linux-x86-fuzz/<target> <artifact>
# FUZZ_SEED (default 1) seeds libFuzzer, so that a run, and so CI, takes the same path each time; set
# another seed to explore elsewhere.
set -uo pipefail
cd "$(dirname "$0")/.."

build=build/linux-x86-fuzz
seconds=${1:-60}
seed=${FUZZ_SEED:-1}
shift || true
targets=("$@")
if [ "${#targets[@]}" = 0 ]; then
  for program in "$build"/fuzz_*; do
    [ -x "$program" ] && targets+=("$(basename "$program")")
  done
fi
if [ "${#targets[@]}" = 0 ]; then
  echo "fuzz: no targets in $build; build the linux-x86-fuzz preset first" >&2
  exit 1
fi

mkdir -p "$build/artifacts"
failed=()
for target in "${targets[@]}"; do
  program="$build/$target"
  seeds="fuzz/corpus/$target"
  # A companion's interface target plays the same lives as VEXLO's: it shares that target's seeds.
  case "$target" in fuzz_interface_*) seeds="fuzz/corpus/fuzz_interface" ;; esac
  work="$build/corpus/$target"
  mkdir -p "$work" "$seeds"
  log="$build/artifacts/$target.log"
  echo "fuzz: $target for ${seconds}s"
  # An instance's tables are at most tens of megabytes; a slow input means a hang.
  "$program" -seed="$seed" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" "$work" "$seeds" >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  if [ "$status" = 0 ]; then
    echo "fuzz: $target clean, ${runs:-?} runs"
  else
    echo "fuzz: $target FAILED (exit $status); log: $log" >&2
    grep -E 'ERROR|SUMMARY|fuzz check failed|runtime error|Test unit written' "$log" | head -20 >&2
    failed+=("$target")
  fi
done

if [ "${#failed[@]}" != 0 ]; then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
