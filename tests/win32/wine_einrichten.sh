#!/usr/bin/env bash
# Sets up the Wine prefix of the Windows tests, once; later runs find it ready.
# Argument: the prefix folder (in the build folder)
# SPDX-License-Identifier: MIT
set -euo pipefail
WINEPREFIX=$(realpath -m "$1")
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
. "$(dirname "$0")/../../tools/sicher.sh"
wine_waehlen "$WINEPREFIX.bin"
# Written last, so a prefix whose set-up was cut short is set up again.
bereit=$WINEPREFIX/.dadaviru_bereit
[ -e "$bereit" ] && exit 0

mkdir -p "$(dirname "$WINEPREFIX")"
echo "wine_einrichten: setting up $WINEPREFIX (takes a minute on a fresh machine)"
ohne_uhrrecht timeout -k 10 300 wineboot -i >/dev/null 2>&1 || { echo "FAIL: wineboot -i" >&2; exit 1; }
ohne_uhrrecht timeout 60 wineserver -w
touch "$bereit"
