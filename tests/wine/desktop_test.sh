#!/usr/bin/env bash
# A program's output is closed when the program ends, also when the session's desktop had been
# idle and another program keeps using it. Wine hands the standard error of the program that
# brings up a desktop to the desktop process; if that program is a test, ctest waits for the
# desktop to close, long after the test passed. Runs in a Wine environment of its own.
#   desktop_test.sh WINE_ENV ROOT
set -euo pipefail
wine_env=$1
root=$2

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

trap '"$wine_env" "$root" stop || true' EXIT
"$wine_env" "$root" start
# Idle for longer than Wine keeps an unused desktop.
sleep 3

# Another program that uses the desktop until the environment stops.
mkdir -p "$root/test"
rm -f "$root/test/other.in"
mkfifo "$root/test/other.in"
"$wine_env" "$root" run cmd.exe /k <>"$root/test/other.in" >/dev/null 2>&1 &

# A program that needs the desktop, its output read through a pipe as ctest reads a test's.
status=0
timeout 60 bash -c '"$1" "$2" run rundll32.exe user32.dll,GetDesktopWindow 2>&1 | cat' _ \
    "$wine_env" "$root" || status=$?
[ "$status" -ne 124 ] || fail "the program's output stayed open 60 s after the program ended"
[ "$status" -eq 0 ] || fail "the program ended with status $status"
echo "the program's output closed when it ended"
