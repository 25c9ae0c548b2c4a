#!/usr/bin/env bash
# Code signing with a throw-away certificate made here: the release assembled
# with NORVANE_SIGN_CERT and NORVANE_SIGN_KEY carries valid Authenticode
# signatures on the programs of both architectures (the window and
# norvane-drive.exe) and on the installer, signs to the same bytes
# twice, and a changed byte breaks the signature; the release assembled
# without them (DIST_DIR, from packages_test.sh) carries none.
# Usage: signing_test.sh X86_BUILD X64_BUILD DIST_DIR WORK_DIR VERSION
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
dist=$(realpath "$3")
work=$4
rm -rf "$work"
mkdir -p "$work/keys"
work=$(realpath "$work")
keys=$work/keys
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Norvane Throw-away Test CA" \
  -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign \
  -keyout "$keys/ca.key" -out "$keys/ca.pem" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Norvane Throw-away Code Signing" \
  -keyout "$keys/signer.key" -out "$keys/signer.csr" 2>/dev/null
printf 'basicConstraints=CA:false\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$keys/signer.ext"
openssl x509 -req -in "$keys/signer.csr" -CA "$keys/ca.pem" -CAkey "$keys/ca.key" -CAcreateserial -days 2 \
  -extfile "$keys/signer.ext" -out "$keys/signer.pem" 2>/dev/null
cat "$keys/signer.pem" "$keys/ca.pem" >"$keys/chain.pem"

export NORVANE_SIGN_CERT=$keys/chain.pem NORVANE_SIGN_KEY=$keys/signer.key SOURCE_DATE_EPOCH=$(date +%s)
for run in 1 2; do
  "$here/scripts/release/assemble.sh" "$1" "$2" "$work/signed-$run"
done

version=$5
signed=()
for arch in x86 x64; do
  for program in NorvaneDriveUtility.exe norvane-drive.exe; do
    python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))' \
      "$work/signed-1/NorvaneDriveUtility-$version-$arch.zip" "$program" >"$work/$arch-$program"
    signed+=("$work/$arch-$program")
  done
done
verify() { osslsigncode verify -CAfile "$keys/ca.pem" -in "$1" 2>&1; }
for file in "${signed[@]}" "$work/signed-1/NorvaneDriveUtility-$version-setup.exe"; do
  report=$(verify "$file") || fail "$(basename "$file"): $report"
  grep -q "Signature verification: ok" <<<"$report" || fail "$(basename "$file") not verified"
  grep -q "CN=Norvane Throw-away Code Signing" <<<"$report" || fail "$(basename "$file") not signed by the test signer"
done

cp "$work/x64-NorvaneDriveUtility.exe" "$work/tampered.exe"
printf '\x90' | dd of="$work/tampered.exe" bs=1 seek=4096 conv=notrunc 2>/dev/null
verify "$work/tampered.exe" >/dev/null && fail "a changed program still verifies"

for package in "$work/signed-1"/*; do
  cmp -s "$package" "$work/signed-2/$(basename "$package")" || fail "$(basename "$package") signs to other bytes the second time"
done

for file in "$dist/NorvaneDriveUtility-$version-setup.exe" "$1"/{app/NorvaneDriveUtility,tool/norvane-drive}.exe \
  "$2"/{app/NorvaneDriveUtility,tool/norvane-drive}.exe; do
  python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); from pe_file import PeFile; sys.exit(PeFile(sys.argv[2]).security_size != 0)' \
    "$here/tests/release" "$file" || fail "$(basename "$file") is signed without a certificate given"
done

[ "$failed" -eq 0 ] && echo "signing: signed with a certificate, unsigned without"
exit $failed
