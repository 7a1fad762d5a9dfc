#!/usr/bin/env bash
# The control tool vg730emu as people and scripts use it, under Wine in the build tree's prefix:
# install, gateways, show, faults, unplugging and plugging in, the request log, remove, the errors
# it reports, the driver package version it writes, and uninstall. Runs inside scripts/wine-env
# (WINEPREFIX, WINELOADER, VG_BIN are set).
set -uo pipefail

tool="$VG_BIN/vg730emu.exe"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# Runs the tool with a bound on its time; its output lands in $work/out and $work/err, CR LF folded.
vg() {
    timeout 120 "$WINELOADER" "$tool" "$@" >"$work/out.raw" 2>"$work/err.raw" </dev/null
    rc=$?
    tr -d '\r' <"$work/out.raw" >"$work/out"
    tr -d '\r' <"$work/err.raw" >"$work/err"
}

fail() {
    echo "FAIL: $*" >&2
    echo "  stdout: $(head -c 400 "$work/out")" >&2
    echo "  stderr: $(head -c 400 "$work/err")" >&2
    failures=$((failures + 1))
}

# ok CMD...: the command succeeds.
ok() {
    vg "$@"
    [ "$rc" -eq 0 ] || fail "vg730emu $* exited with $rc"
}

# refused TEXT CMD...: the command exits with 1 and says TEXT on standard error.
refused() {
    local text=$1
    shift
    vg "$@"
    [ "$rc" -eq 1 ] || fail "vg730emu $* exited with $rc, expected 1"
    grep -qF -- "$text" "$work/err" || fail "vg730emu $*: no '$text' in its error"
}

# has LINE...: each line is one of the output's lines.
has() {
    for line in "$@"; do
        grep -qxF -- "$line" "$work/out" || fail "no line '$line' in the output"
    done
}

lacks() {
    for line in "$@"; do
        ! grep -qxF -- "$line" "$work/out" || fail "unexpected line '$line' in the output"
    done
}

package_version() {
    timeout 60 "$WINELOADER" reg query 'HKLM\Software\Tolvak-Quorvel\VARedidod' /v Version \
        </dev/null 2>/dev/null | tr -d '\r' | awk '$1 == "Version" { print $3 }'
}

system32="$WINEPREFIX/drive_c/windows/system32"

# --- install, twice: the second changes nothing
ok install
ok install
[ "$(package_version)" = "2.1.0" ] || fail "package version after install: '$(package_version)'"
for f in VNCOMM32.dll quorvelvncomm32.dll quorvelvnalapw2.dll drivers/vg730emu.sys; do
    [ -f "$system32/$f" ] || fail "install left no $f"
done
ok reset

# --- two gateways
ok add 0
ok add 7 --ean 0007300099002005 --param-ean 0007300099001237 --firmware 3.10.300 \
    --hardware 1.2 --serial 42 --name "Other VG730 #7"
ok show 0
has "device=0" "name=Quorvel VG730 #0" "state=idle" "presence=present" "firmware=2.05.176" \
    "hardware=1.0" "serial=1234" "ean=0007300099001237" "param_ean=none" "image_ok=1" \
    "requests.flash_command=0" "requests.download=0" "requests.upload=0" \
    "requests.get_card_info=0" "flash_length=0" "restart_ms=2000" "latency_us=0"
ok show 7
has "device=7" "name=Other VG730 #7" "firmware=3.10.300" "hardware=1.2" "serial=42" \
    "ean=0007300099002005" "param_ean=0007300099001237"
has "channel_ean=0007300099001237"
ok add 3 --no-ean --name "Plain gateway"
ok show 3
has "name=Plain gateway" "channel_ean=none" "ean=0007300099001237"
ok list
has "gateway=3 Plain gateway"
ok remove 3
ok add-virtual
has "virtual=0"
ok add-virtual --name "Second Virtual"
has "virtual=1"
ok list
has "gateway=0 Quorvel VG730 #0" "gateway=7 Other VG730 #7" \
    "virtual=Quorvel Virtual channel 1" "virtual=Second Virtual"

# --- faults, shown, then cleared
ok fault 7 refuse-start 7
ok fault 7 fail download --nth 3 --repeat 2
ok fault 7 status upload 5
ok fault 7 latency 150
ok fault 7 restart-ms 250
ok fault 7 corrupt 0x10010 --length 4 --mask 0x0F
ok fault 7 write-fault 0x10010 --length 2 --mask 0x40
ok fault 7 unplug --at flash_command --nth 2 --after
ok fault 7 bus-status 0x81
ok fault 7 error-counters 1 2 3
ok fault 7 tx-level 4
ok show 7
has "refuse_start=7" "request_faults=3" "latency_us=150" "restart_ms=250" "corruptions=1" \
    "write_faults=1" "bus_status=0x00000081" "tx_errors=1" "rx_errors=2" "overruns=3" "tx_level=4"
ok show 0
has "refuse_start=0" "request_faults=0" "latency_us=0"
ok clear 7
ok show 7
has "refuse_start=0" "request_faults=0" "latency_us=0" "restart_ms=2000" "corruptions=0" \
    "write_faults=0" "bus_status=0x00000000" "tx_errors=0" "tx_level=0"

# --- notifications reach only windows a library was given: none here
ok notify 0 status
has "windows=0"
refused "no gateway 9" notify 9 status
refused "unknown event" notify 0 boom

# --- the CAN library's call log: empty after a reset, and cleared on request
ok calls
has "calls=0" "count.canInitializeLibrary=0" "count.canWrite=0" "count.canUnloadLibrary=0"
[ "$(grep -c '^count\.' "$work/out")" -eq 34 ] || fail "calls shows not 34 entry counts"
! grep -q '^call=' "$work/out" || fail "calls lists calls after a reset"
ok calls --clear
refused "unexpected argument" calls --all

# --- the driver requests: the identity read of the flash programmer's EAN check
ok requests
has "requests=0"
timeout 60 "$WINELOADER" "$VG_BIN/vessa_flash.exe" -C0 '-assert_ean=73000!99001237' none.img \
    >/dev/null 2>&1 </dev/null || fail "vessa_flash -assert_ean did not end with 0"
ok requests
has "requests=3" "request=1 #0 info get_card_info status=0" \
    "request=2 #0 info get_card_info2 status=0" "request=3 #0 info read_card_parameter status=10"
ok requests --clear
ok requests
has "requests=0"
! grep -q '^request=' "$work/out" || fail "requests lists requests after a clear"

# --- a gateway pulled out and plugged in again, pulled out again, then removed
refused "is plugged in" plug 7
ok fault 7 unplug
ok show 7
has "state=unplugged" "presence=unplugged"
ok list
lacks "gateway=7 Other VG730 #7"
has "gateway=0 Quorvel VG730 #0"
ok plug 7
ok show 7
has "presence=present" "state=idle" "firmware=3.10.300" "image_ok=1" "name=Other VG730 #7"
ok list
has "gateway=7 Other VG730 #7"
refused "no gateway 9" plug 9
ok fault 7 unplug
ok remove 7
refused "no gateway 7" show 7
refused "no gateway 7" remove 7
refused "no gateway 7" fault 7 latency 1
refused "no gateway 7" clear 7
refused "no gateway 7" plug 7

# --- bad values and unknown things
refused "device number" add 128
refused "device number" show -1
refused "exists already" add 0
refused "--ean" add 1 --ean 12345
refused "--ean" add 1 --ean 000730009900123G
refused "--firmware" add 1 --firmware 2.5
refused "--hardware" add 1 --hardware 1.256
refused "--name" add 1 --name ""
refused "unknown request" fault 0 fail downloads
refused "cannot be set" fault 0 status get_card_info 5
refused "status" fault 0 status download 0
refused "--half needs --at download" fault 0 unplug --at upload --half
refused "need --at REQUEST" fault 0 unplug --after
refused "needs a length and a mask" fault 0 write-fault 0x100 --mask 0
refused "unknown fault kind" fault 0 explode
refused "no CAN library entry" entry-fault canFrobnicate -1
refused "no CAN library entry" install --missing-entry canFrobnicate
refused "exclude each other" install --driver-version 2.0.4 --no-driver-package
refused "unknown command" frobnicate
refused "missing device number" show
refused "unexpected argument" show 0 1
ok entry-fault canWrite -15
ok entry-fault canWrite normal

# --- the driver package version
ok install --driver-version 2.0.4
[ "$(package_version)" = "2.0.4" ] || fail "package version: '$(package_version)'"
ok install --no-driver-package
[ -z "$(package_version)" ] || fail "package key still there: '$(package_version)'"
ok install --legacy-dll
[ -f "$system32/tolvakquorvelvncomm32.dll" ] && [ ! -f "$system32/quorvelvncomm32.dll" ] ||
    fail "--legacy-dll did not swap the library pair"
ok reset
[ "$(package_version)" = "2.1.0" ] || fail "package version after reset: '$(package_version)'"
[ -f "$system32/quorvelvncomm32.dll" ] && [ ! -f "$system32/tolvakquorvelvncomm32.dll" ] ||
    fail "reset did not bring the default library pair back"
ok list
lacks "gateway=0 Quorvel VG730 #0"

# --- without the driver
ok uninstall
[ ! -f "$system32/quorvelvncomm32.dll" ] || fail "uninstall left the library"
refused "driver is not running" show 0
refused "driver is not running" add 0
refused "driver is not running" reset
ok install
ok add 0
ok show 0
has "firmware=2.05.176"
ok reset

# --- help
ok help
grep -q "usage: vg730emu" "$work/out" || fail "help shows no usage"

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "vg730emu: all checks passed"
