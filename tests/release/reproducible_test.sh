#!/usr/bin/env bash
# The same sources give the same zip, byte for byte. scripts/release runs twice, as on two
# machines that differ in what should not matter: the path of the checkout and of its build
# folder, the umask, the time zone and the language. Each run is in a fresh copy of the sources
# (what git tracks, and new files not yet added) built from scratch; with --this-checkout the
# second run is in this checkout itself, with the build tree it has, which saves a build where
# that tree is already built. The two zips must be equal; every file in them has the time
# SOURCE_DATE_EPOCH gives; the programs need no more than the oldest Windows the guide names.
#   reproducible_test.sh SOURCE_DIR WORK_DIR win32|win64 [--this-checkout]
# Costs a release build of the architecture for each fresh copy (about 40 s on 2 idle cores).
set -euo pipefail
source_dir=$1
work=$2
arch=$3
this_checkout=${4:-}
case "$arch" in
win32) objdump=i686-w64-mingw32-objdump ;;
win64) objdump=x86_64-w64-mingw32-objdump ;;
*) echo "reproducible_test.sh: win32 or win64, not '$arch'" >&2; exit 2 ;;
esac

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# 2023-11-14 22:13:20 UTC, an even second: a zip stores times to two seconds.
export SOURCE_DATE_EPOCH=1700000000

# builds: name | checkout: a path under WORK_DIR for a fresh copy, or "." for this one | umask |
# TZ | LC_ALL
builds=("first|first/src|077|NZST-12NZDT|C.UTF-8")
case "$this_checkout" in
"") builds+=("second|second build, elsewhere/VG730-checkout/tools|022|UTC0|C") ;;
--this-checkout) builds+=("this checkout|.|022|UTC0|C") ;;
*) echo "reproducible_test.sh: --this-checkout or nothing, not '$this_checkout'" >&2; exit 2 ;;
esac

rm -rf "$work"
mkdir -p "$work"
zips=()
for build in "${builds[@]}"; do
    IFS='|' read -r name path mask zone language <<<"$build"
    if [ "$path" = . ]; then
        tree=$source_dir
    else
        tree=$work/$path
        mkdir -p "$tree"
        (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
            while IFS= read -r -d '' file; do
                [ ! -e "$file" ] || cp --parents -- "$file" "$tree/"
            done)
    fi
    echo "==== $name build: $tree (umask $mask, TZ=$zone, LC_ALL=$language)"
    zip_file=$( (umask "$mask" && cd "$tree" && TZ=$zone LC_ALL=$language \
        scripts/release --arch "$arch" --dist "$work/dist/$name" </dev/null) | tail -n 1) ||
        fail "scripts/release failed in $tree"
    [ -f "$zip_file" ] || fail "no zip from the $name build: '$zip_file'"
    zips+=("$zip_file")
done

echo "==== the two zips"
sha256sum "${zips[@]}"
if ! cmp -s "${zips[0]}" "${zips[1]}"; then
    mkdir -p "$work/unpacked/first" "$work/unpacked/second"
    unzip -q "${zips[0]}" -d "$work/unpacked/first"
    unzip -q "${zips[1]}" -d "$work/unpacked/second"
    diff -r "$work/unpacked/first" "$work/unpacked/second" || true
    zipinfo -v "${zips[0]}" >"$work/unpacked/first.zipinfo"
    zipinfo -v "${zips[1]}" >"$work/unpacked/second.zipinfo"
    diff "$work/unpacked/first.zipinfo" "$work/unpacked/second.zipinfo" | head -40 || true
    fail "the two builds give different zips"
fi

# Modes, times and order as the script sets them, whatever the umask and the time zone.
folder=VG730FirmwareUpdate-2.05.177-$arch
expected="drwxr-xr-x 20231114.221320 $folder/
-rw-r--r-- 20231114.221320 $folder/README.txt
-rw-r--r-- 20231114.221320 $folder/SHA256SUMS
-rwxr-xr-x 20231114.221320 $folder/VG730FirmwareUpdate.exe
-rwxr-xr-x 20231114.221320 $folder/vessa_flash.exe
-rw-r--r-- 20231114.221320 $folder/vozadoror_7300099001237_nodebug.img"
entries=$(TZ=UTC0 zipinfo -T "${zips[0]}" | awk '$1 ~ /^[d-][r-]/ {print $1, $7, $8}')
[ "$entries" = "$expected" ] || fail "the zip holds:
$entries"

mkdir -p "$work/unpacked"
unzip -q -o "${zips[0]}" -d "$work/unpacked"
"$source_dir/scripts/check-windows-version" "$objdump" "$work/unpacked"/*/*.exe ||
    fail "the programs need a newer Windows"

# Kept on failure, for a look at both trees.
rm -rf "$work"
echo "the same zip from both builds"
