#!/bin/bash
# Reads one built Windows program's identification under Wine with kennungspruefer.
# Usage: kennung_test.sh EXE PROGRAMM PRUEFER. Uses $WINEPREFIX, or a prefix of its own beside PRUEFER.
set -euo pipefail

if [ $# -ne 3 ]; then
    echo "usage: kennung_test.sh EXE PROGRAMM PRUEFER" >&2
    exit 2
fi
exe=$1 programm=$2 pruefer=$3

# unter_wine SECONDS COMMAND...: bounded, and neither Wine nor anything it starts may set this machine's clock.
unter_wine() {
    local sekunden=$1
    shift
    UHRATTRAPPE= ohne_uhrrecht timeout -k 10 "$sekunden" env WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$@"
}
. "$(dirname "$0")/../sicher_lib.sh"

WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$pruefer")" && pwd)/wineprefix}
export WINEPREFIX
wine_waehlen "$WINEPREFIX.bin"
mkdir -p "$(dirname "$WINEPREFIX")"
# Both programs' tests may start together: one makes the prefix, the other waits for it. The marker
# is written last, so a prefix whose making was cut short is made again.
(
    flock -w 330 9 || { echo "kennung_test: no lock on $WINEPREFIX.lock within 330 s" >&2; exit 1; }
    if [ ! -e "$WINEPREFIX/.dadaviru_bereit" ]; then
        unter_wine 300 wineboot -i >/dev/null 2>&1 ||
            { echo "kennung_test: wineboot -i in $WINEPREFIX failed or timed out" >&2; exit 1; }
        touch "$WINEPREFIX/.dadaviru_bereit"
    fi
) 9>"$WINEPREFIX.lock"

# Wine reads a Unix path as one on the current drive, which is not Z: from inside the prefix.
exe_windows=$(unter_wine 120 wine winepath -w "$exe" 2>/dev/null) ||
    { echo "kennung_test: winepath failed for $exe" >&2; exit 1; }
exe_windows=${exe_windows%$'\r'}

unter_wine 120 wine "$pruefer" "$exe_windows" "$programm"
