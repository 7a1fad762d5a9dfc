#!/usr/bin/env bash
# The release package checked as a user gets it. Builds it with scripts/release - the 32-bit one
# where this machine runs 32-bit programs (the run's verdict), else the 64-bit twin - checks what
# the zip holds (one folder, the five files, PE machine, imports and the Windows they need, which
# the guide names, checksums, line ends), unpacks it under a fresh Wine prefix of its own into a
# folder whose path holds a blank and a comma, installs the emulated gateway and driver package
# there and runs the programs' tests against the unpacked files: version resources and manifest,
# the guide against the programs' texts, and an update through the window from that folder.
#   package_test.sh SOURCE_DIR BIN_DIR VERDICT_FILE
set -euo pipefail
source_dir=$1
bin=$2
verdict_file=$3

verdict=$(cat "$verdict_file" 2>/dev/null || echo "no: the 32-bit check did not run")
if [ "$verdict" = yes ]; then
    arch=win32 machine=pei-i386 objdump=i686-w64-mingw32-objdump
else
    arch=win64 machine=pei-x86-64 objdump=x86_64-w64-mingw32-objdump
    echo "32-bit programs do not run here ($verdict): checking the 64-bit twin"
fi
name=VG730FirmwareUpdate-2.05.177-$arch

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

zip_file=$("$source_dir/scripts/release" --arch "$arch" | tail -n 1)
[ "$(basename "$zip_file")" = "$name.zip" ] || fail "package named $zip_file"

echo "==== contents"
expected="$name/
$name/README.txt
$name/SHA256SUMS
$name/VG730FirmwareUpdate.exe
$name/vessa_flash.exe
$name/vozadoror_7300099001237_nodebug.img"
listed=$(unzip -Z1 "$zip_file" | LC_ALL=C sort)
[ "$listed" = "$(echo "$expected" | LC_ALL=C sort)" ] || fail "the zip holds:
$listed"

root=$(dirname "$bin")/package-wine
wine_env="$source_dir/scripts/wine-env"
"$wine_env" "$root" reset
trap '"$wine_env" "$root" stop' EXIT
"$wine_env" "$root" start
target="$root/prefix/drive_c/VG730 Update, package test"
rm -rf "$target"
mkdir -p "$target"
unzip -q "$zip_file" -d "$target"
folder=$target/$name

(cd "$folder" && sha256sum --check --strict SHA256SUMS) || fail "checksums"
for program in VG730FirmwareUpdate.exe vessa_flash.exe; do
    format=$("$objdump" -f "$folder/$program" | sed -n 's/.*file format //p')
    [ "$format" = "$machine" ] || fail "$program is $format, not $machine"
done
"$source_dir/scripts/check-imports" "$objdump" "$folder" || fail "imports"
"$source_dir/scripts/check-windows-version" "$objdump" "$folder"/*.exe || fail "Windows version"
# The guide names the Windows the check holds the programs to.
oldest=$(sed -n 's/^oldest_name="\(.*\)"$/\1/p' "$source_dir/scripts/check-windows-version")
[ -n "$oldest" ] && tr -d '\r' <"$folder/README.txt" | tr '\n' ' ' | grep -qF "$oldest" ||
    fail "README.txt does not name ${oldest:-the oldest Windows}"
# Notepad shows a text with bare line feeds as one long line.
[ -s "$folder/README.txt" ] || fail "README.txt is empty"
! grep -q -v $'\r$' "$folder/README.txt" || fail "README.txt has lines without CR LF"
cmp -s "$folder/vozadoror_7300099001237_nodebug.img" \
    "$(dirname "$zip_file")/../build/$([ "$arch" = win32 ] && echo win32 || echo win64-release)/bin/vozadoror_7300099001237_nodebug.img" ||
    fail "the image is not the one the build writes"

echo "==== the emulated gateway and the driver package in a fresh prefix"
run() { timeout 600 "$wine_env" "$root" run "$@" </dev/null; }
run "$bin/vg730emu.exe" install
echo yes >"$root/programs-verdict"
winpath() { echo "Z:${1//\//\\}"; }
export VG_PROGRAMS
VG_PROGRAMS=$(winpath "$folder")
export VG_PROGRAMS_CHECK
VG_PROGRAMS_CHECK=$(winpath "$root/programs-verdict")
export WINEDEBUG=-all

status=0
for tests in app_resource_tests release_guide_tests release_package_tests; do
    echo "==== $tests against $VG_PROGRAMS"
    run "$bin/$tests.exe" || status=1
done
exit $status
