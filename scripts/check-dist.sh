#!/usr/bin/env bash
# Proves the release reproducible: builds `make dist` from two clones of the current commit at
# different paths, then requires byte-identical archives, the listed contents, no trace of either
# clone's path in what ships, and module DLLs that export, import and carry what a release DLL must.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
first=$work/one/VEXLO
second=$work/a-longer-second-path/src
for clone in "$first" "$second"; do
    git clone --quiet --no-hardlinks "$PWD" "$clone"
    echo "check-dist: building in $clone"
    "$clone/scripts/dist.sh"
done

fail() {
    echo "check-dist: FAIL: $*" >&2
    exit 1
}

# Byte for byte, every file of dist/.
(cd "$first/dist" && find . -type f | sort) >"$work/first.list"
(cd "$second/dist" && find . -type f | sort) >"$work/second.list"
cmp -s "$work/first.list" "$work/second.list" || fail "the two builds made different files"
while read -r file; do
    cmp "$first/dist/$file" "$second/dist/$file" || fail "$file differs between the two builds"
done <"$work/first.list"

# What each archive holds.
version=$(sed -n 's/^#define VEXLO_VERSION_TEXT "\(.*\)"$/\1/p' "$first/build/linux-x86-dist/generated/vexlo_version.h")
zip=$first/dist/VEXLO-$version-win32.zip
tarball=$first/dist/VEXLO-$version-linux-x86.tar.gz
listing=$(unzip -Z1 "$zip")
for entry in VEXLO.dll DELAY.dll MIXER.dll trhost.exe LICENSE SHA256SUMS manual/index.html; do
    grep -qx "VEXLO-$version-win32/$entry" <<<"$listing" || fail "$zip lacks $entry"
done
listing=$(tar -tzf "$tarball")
for entry in vexlo.so delay.so mixer.so trhost LICENSE SHA256SUMS manual/index.html; do
    grep -qx "VEXLO-$version-linux-x86/$entry" <<<"$listing" || fail "$tarball lacks $entry"
done

# The checksums inside hold, and no binary names a build path.
mkdir "$work/unpacked"
unzip -q "$zip" -d "$work/unpacked"
tar -xzf "$tarball" -C "$work/unpacked"
for folder in "$work/unpacked"/*/; do
    (cd "$folder" && sha256sum --quiet -c SHA256SUMS) || fail "checksums do not hold in $folder"
done
for binary in "$work/unpacked"/*/{VEXLO.dll,DELAY.dll,MIXER.dll,trhost.exe,vexlo.so,delay.so,mixer.so,trhost}; do
    for path in "$first" "$second" "$work"; do
        ! grep -qaF "$path" "$binary" || fail "$(basename "$binary") holds the build path $path"
    done
done
# Each module DLL as shipped: exactly the two exports, only system DLLs imported, the release's version.
for module in VEXLO DELAY MIXER; do
    dll=$work/unpacked/VEXLO-$version-win32/$module.dll
    sh tests/check_library_exports.sh pe i686-w64-mingw32-objdump "$dll" >/dev/null || fail "$module.dll as shipped"
    sh tests/check_version_resource.sh wrestool "$dll" "$version" VEXLO "$module.dll" 2 >/dev/null ||
        fail "$module.dll's version resource"
done
(cd "$first/dist" && sha256sum *)
echo "check-dist: both builds identical"
