#!/usr/bin/env bash
# Signs Windows executables in place with Authenticode (osslsigncode), with
# the certificate chain in NORVANE_SIGN_CERT and its private key in
# NORVANE_SIGN_KEY (NORVANE_SIGN_PASSWORD when the key is encrypted).
# NORVANE_SIGN_TIMESTAMP_URL adds a time stamp from that server; signed files
# then differ from build to build. Otherwise the signing time is
# SOURCE_DATE_EPOCH, so that two builds sign to the same bytes.
# Usage: scripts/release/sign.sh FILE...
set -euo pipefail
: "${NORVANE_SIGN_CERT:?no certificate to sign with}" "${NORVANE_SIGN_KEY:?no key to sign with}"
options=(-certs "$NORVANE_SIGN_CERT" -key "$NORVANE_SIGN_KEY" -h sha256 -n "Norvane BD Drive Utility")
[ -z "${NORVANE_SIGN_PASSWORD:-}" ] || options+=(-pass "$NORVANE_SIGN_PASSWORD")
if [ -n "${NORVANE_SIGN_TIMESTAMP_URL:-}" ]; then
  options+=(-ts "$NORVANE_SIGN_TIMESTAMP_URL")
else
  options+=(-time "${SOURCE_DATE_EPOCH:?}")
fi
for file in "$@"; do
  osslsigncode sign "${options[@]}" -in "$file" -out "$file.signed" >/dev/null
  mv "$file.signed" "$file"
done
