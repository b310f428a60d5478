#!/bin/sh
# Checks the outward face of the built module library: a 32-bit x86 object that makes exactly
# getModuleProperties and makeModule visible and, as a DLL, imports nothing but system DLLs.
#
#   check_library_exports.sh elf NM OBJDUMP LIBRARY
#   check_library_exports.sh pe OBJDUMP LIBRARY
set -eu

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

expected="getModuleProperties makeModule"
format=$1
shift

case "$format" in
elf)
    nm=$1 objdump=$2 library=$3
    "$objdump" -f "$library" | grep -q 'file format elf32-i386' ||
        fail "$library is not a 32-bit x86 ELF object"
    exports=$("$nm" -D --defined-only "$library" | awk '{ print $NF }' | sort | xargs)
    ;;
pe)
    objdump=$1 library=$2
    dump=$("$objdump" -p "$library")
    echo "$dump" | grep -q 'file format pei-i386' || fail "$library is not a 32-bit x86 PE image"
    echo "$dump" | grep -q '(PE32)' || fail "$library is not PE32"
    exports=$(echo "$dump" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | xargs)
    imports=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p')
    [ -n "$imports" ] || fail "no import table found in $library"
    for dll in $imports; do
        case $(echo "$dll" | tr 'A-Z' 'a-z') in
        kernel32.dll | user32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-crt-*.dll) ;;
        *) fail "$library imports $dll, which is not a system DLL" ;;
        esac
    done
    echo "imports: $(echo $imports)"
    ;;
*)
    fail "unknown format '$format'"
    ;;
esac

[ "$exports" = "$expected" ] || fail "$library exports '$exports', expected exactly '$expected'"
echo "exports: $exports"
