#!/bin/sh
# Signs a Windows program in place: Authenticode with SHA-256, by osslsigncode,
# with the certificate and key in the PKCS#12 file VELMO_SIGN_PFX, whose
# password is VELMO_SIGN_PASSWORD.
# With VELMO_SIGN_TSA, the URL of an RFC 3161 time-stamp server, the signature
# is time-stamped there: it then stays good after the certificate expires, as
# the time stamp shows it was made while the certificate was. Should the
# server not answer, nothing is signed and this fails. Without it, no server
# is asked, and the signature is good only while the certificate is.
# usage: sign.sh FILE.exe
set -eu
file=$1
: "${VELMO_SIGN_PFX:?is not set: the certificate to sign with}"
: "${VELMO_SIGN_PASSWORD?is not set: the password of VELMO_SIGN_PFX}"
set --
[ -z "${VELMO_SIGN_TSA:-}" ] || set -- -ts "$VELMO_SIGN_TSA"
# The password goes through a file of our own, never on a command line
secret=$(mktemp)
trap 'rm -f "$secret" "$file.signed"' EXIT
printf '%s' "$VELMO_SIGN_PASSWORD" >"$secret"
osslsigncode sign -pkcs12 "$VELMO_SIGN_PFX" -readpass "$secret" -h sha256 -n "VELMO 2" "$@" \
    -in "$file" -out "$file.signed" >/dev/null
mv "$file.signed" "$file"
