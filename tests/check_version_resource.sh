#!/bin/sh
# Reads the version resource back from a built Windows binary, as Explorer's file properties would
# show it, and checks it names the release the build was given.
#
#   check_version_resource.sh WRESTOOL BINARY VERSION PRODUCT ORIGINAL_FILENAME FILETYPE
# VERSION is MAJOR.MINOR.PATCH; FILETYPE is 1 for a program, 2 for a DLL.
set -eu

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

wrestool=$1 binary=$2 version=$3 product=$4 original=$5 filetype=$6
[ "$("$wrestool" -l --type=16 "$binary" | wc -l)" = 1 ] || fail "$binary does not hold exactly one version resource"
resource=$(mktemp)
trap 'rm -f "$resource"' EXIT
"$wrestool" -x --raw --type=16 "$binary" >"$resource"

# The string table: each key (UTF-16) followed by its value.
value_of() {
    strings -el "$resource" | awk -v key="$1" 'found { print; exit } $0 == key { found = 1 }'
}
for pair in "FileVersion=$version" "ProductVersion=$version" "ProductName=$product" \
    "OriginalFilename=$original"; do
    key=${pair%%=*} expected=${pair#*=}
    actual=$(value_of "$key")
    [ "$actual" = "$expected" ] || fail "$key reads '$actual', expected '$expected'"
done
[ -n "$(value_of FileDescription)" ] || fail "no FileDescription"

# The fixed part, as 32-bit words after its signature 0xFEEF04BD: structure version, file version
# (high, low), product version (high, low), flag mask, flags, OS, file type.
words=$(od -A n -v -t x4 "$resource" | tr -s ' ' '\n' | sed '/^$/d' | sed -n '/^feef04bd$/,$p' | head -10 | xargs)
set -- $words
[ "$#" = 10 ] || fail "no fixed version information"
major=${version%%.*} rest=${version#*.}
minor=${rest%%.*} patch=${rest#*.}
high=$(printf '%04x%04x' "$major" "$minor") low=$(printf '%04x0000' "$patch")
[ "$3 $4" = "$high $low" ] || fail "fixed file version words are $3 $4, expected $high $low"
[ "$5 $6" = "$high $low" ] || fail "fixed product version words are $5 $6, expected $high $low"
[ "${10}" = "$(printf '%08x' "$filetype")" ] || fail "file type is ${10}, expected $filetype"
echo "version resource: $product $version ($original)"
