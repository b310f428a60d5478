#!/usr/bin/env bash
# Proves the module SDK works from its archive alone, as a developer meets it: unpacks it into an empty
# folder outside the repository, starts a module with `trhost new`, builds it with both generated
# presets, runs its tests (under wine for Windows), checks that the DLL imports only system DLLs and
# exports exactly the two names, validates the .so with trhost and the DLL with trhost.exe under wine,
# and plays the generated patch.
#
#   scripts/check-sdk.sh [ARCHIVE]   the SDK archive; by default `make dist` is brought up to date and
#                                    its archive is used
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

archive=${1:-}
if [ -z "$archive" ]; then
    ./scripts/dist.sh >/dev/null
    archive=$(echo dist/VEXLO-*-sdk.tar.gz)
fi
[ -f "$archive" ] || { echo "check-sdk: no SDK archive at $archive" >&2; exit 1; }
archive=$(realpath "$archive")

work=$(mktemp -d)
# The wine server of the project's own prefix is stopped before its folder goes.
trap '[ ! -d "$work/sample_hold/build/windows-x86/wineprefix" ] ||
    WINEPREFIX=$work/sample_hold/build/windows-x86/wineprefix wineserver -k >/dev/null 2>&1; rm -rf "$work"' EXIT
# Nothing from this machine's set-up may stand in for the SDK.
unset CMAKE_PREFIX_PATH TRFramework_DIR
export WINEDEBUG=-all

step_start=$SECONDS
step() {
    echo "check-sdk: $1 ($((SECONDS - step_start)) s so far)"
}
fail() {
    echo "check-sdk: FAIL: $*" >&2
    exit 1
}

tar -xzf "$archive" -C "$work"
sdk=$(echo "$work"/*-sdk)
[ -x "$sdk/bin/trhost" ] || fail "no bin/trhost in $archive"
(cd "$sdk" && sha256sum --quiet -c SHA256SUMS) || fail "checksums do not hold in $archive"

cd "$work"
"$sdk/bin/trhost" new sample_hold
project=$work/sample_hold
cd "$project"
! grep -rqF "$repo" . || fail "the new project refers to the repository"
step "wrote a module with trhost new"

cmake --preset linux-x86 >/dev/null
cmake --build --preset linux-x86 -j2 >/dev/null
ctest --preset linux-x86 >/dev/null || { ctest --preset linux-x86 --rerun-failed --output-on-failure; fail "linux-x86 tests"; }
so=build/linux-x86/sample_hold.so
sh "$repo/tests/check_library_exports.sh" elf nm objdump "$so" >/dev/null || fail "$so exports"
"$sdk/bin/trhost" validate "$so" >"$work/validate-linux.txt" || { cat "$work/validate-linux.txt"; fail "trhost validate $so"; }
"$sdk/bin/trhost" patch patches/sample_hold_tremolo.json --out "$work/tremolo.wav" >/dev/null
step "linux-x86: built, tested, validated, patched"

cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86 -j2 >/dev/null
ctest --preset windows-x86 >/dev/null || { ctest --preset windows-x86 --rerun-failed --output-on-failure; fail "windows-x86 tests"; }
dll=build/windows-x86/SAMPLE_HOLD.dll
sh "$repo/tests/check_library_exports.sh" pe i686-w64-mingw32-objdump "$dll" || fail "$dll imports or exports"
# The prefix the tests made; trhost.exe runs from the SDK, the DLL is named by its path.
export WINEPREFIX=$project/build/windows-x86/wineprefix
wine "$sdk/bin/trhost.exe" validate "$dll" >"$work/validate-windows.txt" ||
    { cat "$work/validate-windows.txt"; fail "trhost.exe validate $dll"; }
step "windows-x86: built, tested, validated under wine"
echo "check-sdk: the SDK builds, tests and validates a new module on both targets"
