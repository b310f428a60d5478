#!/usr/bin/env bash
# The main job, run by `make demo` once the Linux build is done: show what the module says of itself,
# render one instance with its defaults and every example patch to out/ as WAV and PNG, list the files.
set -euo pipefail
cd "$(dirname "$0")/.."

trhost=build/linux-x86/trhost
module=build/linux-x86/vexlo.so
for needed in "$trhost" "$module"; do
  [ -e "$needed" ] || { echo "demo: $needed is missing; run 'make demo' to build it" >&2; exit 1; }
done
mkdir -p out

echo "== $trhost describe $module"
"$trhost" describe "$module"

echo
echo "== $trhost render $module (every pin at its default)"
"$trhost" render "$module" --out out/defaults.wav --plot out/defaults.png

for patch in examples/*.json; do
  name=$(basename "$patch" .json)
  echo
  echo "== $trhost patch $patch"
  "$trhost" patch "$patch" --out "out/$name.wav" --plot "out/$name.png"
done

echo
echo "== out/"
ls -l out/
