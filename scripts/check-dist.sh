#!/usr/bin/env bash
# Proves the release reproducible: builds `make dist` from two clones of the current commit at
# different paths, then requires byte-identical archives, the listed contents, no trace of either
# clone's path in what ships, and module DLLs that export, import and carry what a release DLL must.
# The checked archives are left in dist/.
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

sdk=$first/dist/VEXLO-$version-sdk.tar.gz
listing=$(tar -tzf "$sdk")
for entry in bin/trhost bin/trhost.exe modules/vexlo.so modules/VEXLO.dll include/trframework/tr_module_base.h \
    src/trframework/tr_module_base.cpp lib/cmake/TRFramework/TRFrameworkConfig.cmake \
    lib/cmake/TRFramework/toolchain-mingw-i686.cmake README.md LICENSE SHA256SUMS; do
    grep -qx "VEXLO-$version-sdk/$entry" <<<"$listing" || fail "$sdk lacks $entry"
done
grep -q "^VEXLO-$version-sdk/docs/..*\.md$" <<<"$listing" || fail "$sdk lacks the guide in docs/"

# The checksums inside hold, and nothing shipped names a build path.
mkdir "$work/unpacked"
unzip -q "$zip" -d "$work/unpacked"
tar -xzf "$tarball" -C "$work/unpacked"
tar -xzf "$sdk" -C "$work/unpacked"
for folder in "$work/unpacked"/*/; do
    (cd "$folder" && sha256sum --quiet -c SHA256SUMS) || fail "checksums do not hold in $folder"
done
for path in "$first" "$second" "$work"; do
    named=$(grep -rlaF "$path" "$work/unpacked" || true)
    [ -z "$named" ] || fail "$(echo $named) hold the build path $path"
done
# Each module DLL as shipped: exactly the two exports, only system DLLs imported, the release's version.
for module in VEXLO DELAY MIXER; do
    dll=$work/unpacked/VEXLO-$version-win32/$module.dll
    sh tests/check_library_exports.sh pe i686-w64-mingw32-objdump "$dll" >/dev/null || fail "$module.dll as shipped"
    sh tests/check_version_resource.sh wrestool "$dll" "$version" VEXLO "$module.dll" 2 >/dev/null ||
        fail "$module.dll's version resource"
done
(cd "$first/dist" && sha256sum *)
# The checked archives stay in dist/, for the checks that use them next (make check-sdk).
rm -rf dist
cp -R "$first/dist" dist
echo "check-dist: both builds identical; the archives are in dist/"
