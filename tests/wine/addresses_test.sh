#!/usr/bin/env bash
# A Windows program of the environment runs with Linux's address randomisation off, its loader's
# heap far below the page Wine maps for the system's shared user data (0x7ffe0000). Randomised,
# that heap now and then lands on the page and the program ends at once.
#   addresses_test.sh WINE_ENV ROOT
set -euo pipefail
wine_env=$1
root=$2

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# A command prompt that reads its commands from a pipe this test holds: it runs until the pipe
# is closed. The environment starts the loader in place of itself, so $! is the program.
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
mkfifo "$folder/in"
"$wine_env" "$root" run cmd.exe /q /k <"$folder/in" >/dev/null 2>&1 &
program=$!
exec 3>"$folder/in"

# The process runs the environment's script first, then Wine's loader, which becomes the program
# and soon has its heap.
is_wine() {
    [[ "$(readlink "/proc/$program/exe" 2>/dev/null)" == */wine64 ]] &&
        grep -q '\[heap\]' "/proc/$program/maps" 2>/dev/null
}
for _ in $(seq 600); do
    is_wine && break
    sleep 0.1
done
is_wine || fail "the command prompt did not start"

personality=$(cat "/proc/$program/personality")
heap_end=$(awk '/\[heap\]/ { split($1, range, "-"); print range[2] }' "/proc/$program/maps")
exec 3>&-
wait "$program" || fail "the command prompt ended with status $?"

echo "personality $personality, heap ends at 0x${heap_end:-none}"
(((0x$personality & 0x0040000) != 0)) ||
    fail "address randomisation is on (personality $personality)"
((0x$heap_end < 0x7ffe0000)) || fail "the heap reaches the shared user data (ends at 0x$heap_end)"
