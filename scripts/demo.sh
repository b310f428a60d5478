#!/usr/bin/env bash
# The main job, run by `make demo` once the Linux build is done: show what the modules say of
# themselves, render one VEXLO with its defaults, an echo of the source chord and every recipe in
# examples/recipes/ (the recipes of VEXLO's about text) to out/ as WAV and PNG, and list the files.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/linux-x86
trhost=$build/trhost
chord=$build/sounds/pluck_chord.wav
for needed in "$trhost" "$build/vexlo.so" "$build/delay.so" "$build/mixer.so" "$chord"; do
  [ -e "$needed" ] || { echo "demo: $needed is missing; run 'make demo' to build it" >&2; exit 1; }
done
mkdir -p out

for module in vexlo delay mixer; do
  echo "== $trhost describe $build/$module.so"
  "$trhost" describe "$build/$module.so"
  echo
done

echo "== $trhost render $build/vexlo.so (every pin at its default)"
"$trhost" render "$build/vexlo.so" --out out/defaults.wav --plot out/defaults.png

echo
echo "== $trhost render $build/delay.so --feed In=$chord (an echo of the source chord)"
"$trhost" render "$build/delay.so" --feed "In=$chord" --set Time=250 --set Feedback=5 --set "Max delay=1 s" \
  --seconds 3.5 --out out/echo.wav --plot out/echo.png

for patch in examples/recipes/*.json; do
  name=$(basename "$patch" .json)
  echo
  echo "== $trhost patch $patch"
  "$trhost" patch "$patch" --strict-ranges --out "out/$name.wav" --plot "out/$name.png"
done

echo
echo "== out/"
ls -l out/
