#!/usr/bin/env bash
# Signing the release. A throwaway certificate authority and a code-signing certificate it issued
# are made with openssl; scripts/release signs with them, given as PKCS#12 or as PEM files, and
# each program of each package must verify against that authority (osslsigncode verify), with the
# package's time as its signing time and the checksums those of the signed files. A program
# changed after signing, or checked against another authority, must not verify. Without a
# certificate the package is unsigned and the script says so in one line; with a wrong password it
# fails and leaves the package before it as it was. The same certificate and time give the same
# zip.
#   signing_test.sh SOURCE_DIR WORK_DIR
# Builds nothing new where the win32 tree is up to date: about 20 s.
set -euo pipefail
source_dir=$1
work=$2

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

export SOURCE_DATE_EPOCH=1700000000
signing_time="Signing time: Nov 14 22:13:20 2023 GMT"
name=VG730FirmwareUpdate-2.05.177-win32
programs=(VG730FirmwareUpdate.exe vessa_flash.exe)

rm -rf "$work"
mkdir -p "$work/pki"
pki=$work/pki
echo "==== a certificate authority and a code-signing certificate"
authority() { # NAME: a self-signed authority NAME.pem with its key NAME.key
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$pki/$1.key" -out "$pki/$1.pem" \
        -days 3 -subj "/CN=VG730 $1" -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}
authority "Test CA"
authority "Other CA"
openssl req -newkey rsa:2048 -nodes -keyout "$pki/signer.key" -out "$pki/signer.csr" \
    -subj "/CN=VG730 Test Signer/O=Tolvak-Quorvel" 2>/dev/null
printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature" \
    "extendedKeyUsage=codeSigning" >"$pki/signer.ext"
openssl x509 -req -in "$pki/signer.csr" -CA "$pki/Test CA.pem" -CAkey "$pki/Test CA.key" \
    -CAcreateserial -days 2 -extfile "$pki/signer.ext" -out "$pki/signer.pem" 2>/dev/null
cat "$pki/signer.pem" "$pki/Test CA.pem" >"$pki/chain.pem"
openssl pkcs12 -export -inkey "$pki/signer.key" -in "$pki/signer.pem" \
    -certfile "$pki/Test CA.pem" -passout pass:p12-secret -out "$pki/signer.p12"
openssl pkey -in "$pki/signer.key" -aes256 -passout pass:pem-secret -out "$pki/locked.key"

release() { # DIST [VAR=VALUE...]: scripts/release into DIST with only those signing variables
    local dist=$1
    shift
    env -u VG_SIGN_PKCS12 -u VG_SIGN_PASSWORD -u VG_SIGN_CERT -u VG_SIGN_KEY "$@" \
        "$source_dir/scripts/release" --arch win32 --dist "$dist" </dev/null
}

verify() { # PROGRAM AUTHORITY: osslsigncode's verdict, its report in PROGRAM.verify
    osslsigncode verify -CAfile "$pki/$2.pem" -in "$1" >"$1.verify" 2>&1
}

# case | signing variables, separated by ";"
cases=(
    "pkcs12|VG_SIGN_PKCS12=$pki/signer.p12;VG_SIGN_PASSWORD=p12-secret"
    "pem|VG_SIGN_CERT=$pki/chain.pem;VG_SIGN_KEY=$pki/signer.key"
    "pem-locked|VG_SIGN_CERT=$pki/chain.pem;VG_SIGN_KEY=$pki/locked.key;VG_SIGN_PASSWORD=pem-secret"
)
for entry in "${cases[@]}"; do
    IFS='|' read -r case variables <<<"$entry"
    echo "==== signed: $case"
    IFS=';' read -r -a assignments <<<"$variables"
    release "$work/$case" "${assignments[@]}" >"$work/$case.log" 2>&1 ||
        { cat "$work/$case.log"; fail "$case: scripts/release failed"; }
    ! grep -q "unsigned" "$work/$case.log" || fail "$case: the script says it is unsigned"
    unzip -q "$work/$case/$name.zip" -d "$work/$case/unpacked"
    folder=$work/$case/unpacked/$name
    (cd "$folder" && sha256sum --check --strict SHA256SUMS) || fail "$case: checksums"
    for program in "${programs[@]}"; do
        verify "$folder/$program" "Test CA" ||
            { cat "$folder/$program.verify"; fail "$case: $program does not verify"; }
        grep -qF "Subject: /CN=VG730 Test Signer/O=Tolvak-Quorvel" "$folder/$program.verify" ||
            fail "$case: $program is not signed by the test signer"
        grep -qF "Message digest algorithm  : SHA256" "$folder/$program.verify" ||
            fail "$case: $program is not signed with SHA-256"
        grep -qF "$signing_time" "$folder/$program.verify" ||
            fail "$case: $program has not the package's time as its signing time"
        ! verify "$folder/$program" "Other CA" ||
            fail "$case: $program verifies against an authority that did not issue it"
    done
done

echo "==== changed after signing"
folder=$work/pkcs12/unpacked/$name
for program in "${programs[@]}"; do
    changed=$work/changed-$program
    cp "$folder/$program" "$changed"
    # One byte of the code (.text starts at 1024 in both programs), as a virus would change it.
    printf '\x90' | dd of="$changed" bs=1 seek=5000 conv=notrunc status=none
    ! cmp -s "$changed" "$folder/$program" || fail "the byte to change is already 0x90"
    ! verify "$changed" "Test CA" || fail "$program verifies after it was changed"
    grep -q "MISMATCH" "$changed.verify" || { cat "$changed.verify"; fail "no digest mismatch"; }
done

echo "==== the same certificate and time, the same zip"
release "$work/again" VG_SIGN_PKCS12="$pki/signer.p12" VG_SIGN_PASSWORD=p12-secret \
    >/dev/null 2>&1 || fail "scripts/release failed the second time"
cmp "$work/pkcs12/$name.zip" "$work/again/$name.zip" || fail "a second signed build differs"

echo "==== a wrong password"
cp "$work/pkcs12/$name.zip" "$work/before.zip"
status=0
release "$work/pkcs12" VG_SIGN_PKCS12="$pki/signer.p12" VG_SIGN_PASSWORD=wrong \
    >"$work/wrong.log" 2>&1 || status=$?
[ "$status" -ne 0 ] || fail "scripts/release signed with a wrong password"
grep -q "^release: signing VG730FirmwareUpdate.exe failed" "$work/wrong.log" ||
    { cat "$work/wrong.log"; fail "no word of the failed signing"; }
cmp -s "$work/before.zip" "$work/pkcs12/$name.zip" || fail "the package before was changed"

echo "==== unsigned"
release "$work/plain" >"$work/plain.log" 2>&1 ||
    { cat "$work/plain.log"; fail "scripts/release failed unsigned"; }
said=$(grep -c "unsigned" "$work/plain.log" || true)
[ "$said" = 1 ] || fail "the script says 'unsigned' in $said lines, not 1"
unzip -q "$work/plain/$name.zip" -d "$work/plain/unpacked"
for program in "${programs[@]}"; do
    ! verify "$work/plain/unpacked/$name/$program" "Test CA" || fail "unsigned $program verifies"
done

rm -rf "$work"
echo "signed and checked: ${cases[*]%%|*}"
