#!/usr/bin/env bash
# scripts/check-windows-version refuses a program that imports what Windows 7 lacks: the probe
# NewerImports.cpp imports a Windows 8 function, a Windows 8.1 DLL and a function the list does
# not know. Each case is one line the check must print; it must also end with status 1 and must
# not call the program fine.
#   windows_version_test.sh SOURCE_DIR OBJDUMP PROBE
set -euo pipefail
source_dir=$1
objdump=$2
probe=$3

cases=(
    "imports kernel32.dll GetSystemTimePreciseAsFileTime, which came with Windows 8:"
    "imports shcore.dll GetDpiForMonitor, which came with Windows 8.1:"
    "imports kernel32.dll GetComputerNameW, which is not in"
)

status=0
output=$("$source_dir/scripts/check-windows-version" "$objdump" "$probe") || status=$?
echo "$output"
failed=0
if [ "$status" -ne 1 ]; then
    echo "FAILED: the check ended with status $status, not 1"
    failed=1
fi
for expected in "${cases[@]}"; do
    if ! grep -qF "$expected" <<<"$output"; then
        echo "FAILED: no line with: $expected"
        failed=1
    fi
done
if grep -q '^ok:' <<<"$output"; then
    echo "FAILED: the probe was called fine"
    failed=1
fi
exit $failed
