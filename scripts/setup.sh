#!/usr/bin/env bash
# Installs the Debian packages that every build, test, tool and check of this project needs.
# Idempotent: when everything is present it prints one line and changes nothing.
set -euo pipefail

packages=(
  # toolchains for the two 32-bit targets
  cmake make g++ g++-multilib g++-mingw-w64-i686 googletest
  # Windows tests run under wine
  wine wine32:i386
  # valgrind needs glibc's debug info to run 32-bit programs
  valgrind libc6-dbg:i386
  # trhost: argument parsing, patch files, audio files in (and resampled), WAV and PNG output
  libcli11-dev nlohmann-json3-dev libsndfile1-dev:i386 libsamplerate0-dev:i386 libcairo2-dev:i386 fonts-dejavu-core
  # trhost analyze: spectra
  libfftw3-dev:i386
  # benchmarks
  libbenchmark-dev:i386
  # tests: trhost validate's JUnit report is read back with Python's XML parser
  python3
  # sanitizer and fuzzer builds
  clang libclang-rt-14-dev
  # the release: version resources read back, archives, the manual's spectra
  icoutils zip unzip libfftw3-dev:i386
)

missing=()
arch_missing=0
dpkg --print-foreign-architectures | grep -qx i386 || arch_missing=1
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done

if [ "$arch_missing" = 0 ] && [ "${#missing[@]}" = 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

[ "$arch_missing" = 1 ] && echo "setup: the i386 architecture is not enabled"
[ "${#missing[@]}" = 0 ] || echo "setup: missing packages: ${missing[*]}"
if [ "$(id -u)" != 0 ]; then
  echo "setup: not root; install them with: sudo $0" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if [ "$arch_missing" = 1 ]; then
  dpkg --add-architecture i386
fi
# A mirror caught mid-sync fails one index now and serves it a minute later, so the update is tried
# again; if it still fails, the install is tried anyway, since the indexes that did arrive (or older
# ones) usually hold every package. Only a failed install is final.
updated=0
for attempt in 1 2 3; do
  if apt-get update -q; then updated=1; break; fi
  echo "setup: apt-get update failed (attempt $attempt of 3)" >&2
  [ "$attempt" = 3 ] || sleep 20
done
[ "$updated" = 1 ] || echo "setup: going on with the package indexes that did arrive" >&2
if [ "${#missing[@]}" -gt 0 ] && ! apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  echo "setup: apt-get install failed for: ${missing[*]}" >&2
  exit 1
fi
echo "setup: installed ${missing[*]}"
