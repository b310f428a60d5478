#!/usr/bin/env bash
# Builds the release archives into dist/ from this source tree:
#   dist/VEXLO-<version>-win32.zip         VEXLO.dll, DELAY.dll, MIXER.dll, trhost.exe, the manual,
#                                          LICENSE, SHA256SUMS
#   dist/VEXLO-<version>-linux-x86.tar.gz  vexlo.so, delay.so, mixer.so, trhost, the manual, LICENSE,
#                                          SHA256SUMS
#   dist/VEXLO-<version>-sdk.tar.gz        the module SDK: the framework package, trhost and trhost.exe,
#                                          VEXLO for both systems, the guide, README, SHA256SUMS
#   dist/SHA256SUMS                        the archives
# The same commit gives the same bytes: binaries carry no paths or link times, and every archive
# entry has the commit's time, fixed permissions and a sorted place.
set -euo pipefail
cd "$(dirname "$0")/.."

# Every time stamp in the release is the commit's, so that a rebuild of it matches.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) || {
        echo "dist: not a git checkout; set SOURCE_DATE_EPOCH to the release's time" >&2
        exit 1
    }
fi
export SOURCE_DATE_EPOCH
export TZ=UTC LC_ALL=C

for target in linux-x86-dist windows-x86-dist; do
    cmake --preset "$target" >/dev/null
    cmake --build --preset "$target"
done

linux=build/linux-x86-dist
windows=build/windows-x86-dist
version=$(sed -n 's/^#define VEXLO_VERSION_TEXT "\(.*\)"$/\1/p' "$linux/generated/vexlo_version.h")
[ -n "$version" ] || { echo "dist: no version in $linux/generated/vexlo_version.h" >&2; exit 1; }

rm -rf dist
stage=dist/stage
win_name=VEXLO-$version-win32
linux_name=VEXLO-$version-linux-x86

# stage_release FOLDER FILE...: the files, the manual and LICENSE in one folder, with its checksums.
stage_release() {
    local folder=$stage/$1
    shift
    mkdir -p "$folder"
    cp "$@" LICENSE "$folder/"
    cp -R "$linux/manual" "$folder/manual"
    write_checksums "$folder"
}
write_checksums() {
    (cd "$1" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort | xargs sha256sum >SHA256SUMS)
}
stage_release "$win_name" "$windows"/{VEXLO,DELAY,MIXER}.dll "$windows/trhost.exe"
stage_release "$linux_name" "$linux"/{vexlo,delay,mixer}.so "$linux/trhost"

# The module SDK: both builds installed into one folder (their shared files are the same bytes).
sdk_name=VEXLO-$version-sdk
for build in "$linux" "$windows"; do
    cmake --install "$build" --prefix "$stage/$sdk_name" --component sdk >/dev/null
done
write_checksums "$stage/$sdk_name"

# Fixed permissions and times: the archives keep both.
find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
chmod 755 "$stage/$win_name/trhost.exe" "$stage/$linux_name/trhost" "$stage/$linux_name"/*.so
chmod 755 "$stage/$sdk_name"/bin/* "$stage/$sdk_name"/modules/*
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

# zip: entries in sorted order, no directory entries, no extra fields (owner, extended times).
(cd "$stage" && find "$win_name" -type f | sort | zip -X -D -q -9 "../$win_name.zip" -@)
# tar: sorted, numeric owner 0, the commit's time; gzip without a name or time of its own.
pack_tar() {
    tar --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner --format=gnu \
        -C "$stage" -cf - "$1" | gzip -9 -n >"dist/$1.tar.gz"
}
pack_tar "$linux_name"
pack_tar "$sdk_name"

rm -rf "$stage"
(cd dist && sha256sum "$win_name.zip" "$linux_name.tar.gz" "$sdk_name.tar.gz" >SHA256SUMS)
echo "dist: $(cd dist && ls | xargs)"
