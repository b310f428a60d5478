#!/bin/sh
# Checks the written manual: every figure it shows exists and is a PNG image, no template field is left
# unfilled, and every recipe in the recipes folder has its section and its plot.
#
#   check_manual.sh MANUAL_DIR RECIPES_DIR
set -eu

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

manual=$1 recipes=$2
page=$manual/index.html
[ -s "$page" ] || fail "no manual at $page"
! grep -q '{{' "$page" || fail "unfilled template field in $page: $(grep -o '{{[^}]*}}' "$page" | head -1)"

figures=$(grep -o '<img src="[^"]*"' "$page" | sed 's/^<img src="//; s/"$//')
[ -n "$figures" ] || fail "$page shows no figures"
count=0
for figure in $figures; do
    case $figure in
    /* | *..* | *://*) fail "figure $figure is not a file inside the manual" ;;
    esac
    [ -s "$manual/$figure" ] || fail "$page shows $figure, which does not exist"
    [ "$(head -c 8 "$manual/$figure" | od -A n -t x1 | xargs)" = "89 50 4e 47 0d 0a 1a 0a" ] ||
        fail "$figure is not a PNG image"
    count=$((count + 1))
done

# Every figure written is shown: none is left over from another manual.
for file in "$manual"/figures/*; do
    echo "$figures" | grep -qx "figures/$(basename "$file")" || fail "$file is not shown in the manual"
done

for patch in "$recipes"/*.json; do
    name=$(basename "$patch" .json)
    grep -q "id=\"recipe-$name\"" "$page" || fail "no recipe section for $patch"
    echo "$figures" | grep -qx "figures/recipe_$name.png" || fail "no plot for $patch"
    # The section names the DLL of every module library the patch loads.
    section=$(sed -n "/id=\"recipe-$name\"/,/<\/section>/p" "$page")
    for library in $(grep -o '[a-z_]*\.so' "$patch" | sort -u); do
        dll=$(echo "${library%.so}" | tr 'a-z' 'A-Z').dll
        echo "$section" | grep -q "<code>$dll</code>" || fail "the recipe $name does not name $dll"
    done
done
echo "manual: $count figures, all present"
