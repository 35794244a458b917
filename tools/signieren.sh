#!/usr/bin/env bash
# Signs one Windows file in place with Authenticode: the certificate and key (PEM) named by
# DADAVIRU_ZERTIFIKAT and DADAVIRU_SCHLUESSEL, and a time stamp when DADAVIRU_ZEITSTEMPEL names a server.
# SPDX-License-Identifier: MIT
set -euo pipefail
datei=$1
optionen=(-certs "${DADAVIRU_ZERTIFIKAT:?}" -key "${DADAVIRU_SCHLUESSEL:?}" -h sha256 -n Dadaviru)
[ -n "${DADAVIRU_ZEITSTEMPEL:-}" ] && optionen+=(-ts "$DADAVIRU_ZEITSTEMPEL")
osslsigncode sign "${optionen[@]}" -in "$datei" -out "$datei.signiert" > /dev/null
mv "$datei.signiert" "$datei"
