#!/usr/bin/env bash
# Reads one built Windows program's identification under Wine with kennungspruefer, in the Wine
# prefix of the Windows tests.
# Usage: kennung_test.sh PREFIX EXE PROGRAMM PRUEFER
# SPDX-License-Identifier: MIT
set -euo pipefail
if [ $# -ne 4 ]; then
  echo "usage: kennung_test.sh PREFIX EXE PROGRAMM PRUEFER" >&2
  exit 2
fi
WINEPREFIX=$1 exe=$2 programm=$3 pruefer=$4
. "$(dirname "$0")/wine_lib.sh"

# Wine reads a Unix path as one on the current drive, which is not Z: from inside the prefix.
exe_windows=$(unter_wine 120 winepath -w "$exe" 2>/dev/null) || fehler "winepath failed for $exe"
exe_windows=${exe_windows%$'\r'}
unter_wine 120 "$pruefer" "$exe_windows" "$programm"
