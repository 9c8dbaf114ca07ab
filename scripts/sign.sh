#!/usr/bin/env bash
# Signs Windows files in place with Authenticode (osslsigncode, SHA-256), when
# a certificate is given; otherwise leaves them unsigned and says so.
#   QORVANE_SIGN_PFX            the certificate and key, a PKCS#12 file
#   QORVANE_SIGN_PASSWORD       its password (read from the environment only:
#                               it never appears on a command line or in a log)
#   QORVANE_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamp server (optional)
# usage: scripts/sign.sh FILE...   (exit 0 also when nothing was signed)
set -euo pipefail

if [[ -z ${QORVANE_SIGN_PFX:-} ]]; then
  echo "unsigned (no QORVANE_SIGN_PFX): $(for f in "$@"; do printf '%s ' "$(basename "$f")"; done)"
  exit 0
fi
[[ -f $QORVANE_SIGN_PFX ]] || { echo "sign: no certificate file $QORVANE_SIGN_PFX" >&2; exit 1; }
stamp=()
[[ -n ${QORVANE_SIGN_TIMESTAMP_URL:-} ]] && stamp=(-ts "$QORVANE_SIGN_TIMESTAMP_URL")
for file in "$@"; do
  # The password reaches osslsigncode through a pipe, never its arguments.
  printf '%s' "${QORVANE_SIGN_PASSWORD:-}" |
    osslsigncode sign -pkcs12 "$QORVANE_SIGN_PFX" -readpass - -h sha256 \
      -n "$(basename "$file")" "${stamp[@]}" -in "$file" -out "$file.signed" >/dev/null
  mv -f "$file.signed" "$file"
  echo "signed: $(basename "$file")"
done
