#!/usr/bin/env bash
# The time service on a host whose clock NTP does not keep: 503 with Retry-After instead of a time,
# each change of the kernel's verdict logged once with its reason, and --serve-unsynchronised serving
# all the same. The verdict comes from the clock interposer, never from this machine's NTP state.
# Usage: ungestellt_test.sh ZEITDIENST LIBUHRATTRAPPE
# SPDX-License-Identifier: MIT
set -euo pipefail
ZEITDIENST=$1 UHRATTRAPPE=$2
. "$(dirname "$0")/zeitdienst_lib.sh"

# The service serves as nobody: it must reach the state file.
chmod 0711 "$arbeit"
export UHRATTRAPPE_NTP=$arbeit/ntp
ntp() { echo "$1" >"$UHRATTRAPPE_NTP.neu" && chmod 0644 "$UHRATTRAPPE_NTP.neu" && mv "$UHRATTRAPPE_NTP.neu" "$UHRATTRAPPE_NTP"; }
status_von() { holen -o "$arbeit/rumpf" -D "$arbeit/kopf" -w '%{http_code}' "http://127.0.0.1:$port/zeit.php"; }
ist_status() { [ "$(status_von)" = "$1" ]; }
meldungen() { grep -c "$1" "$arbeit/meldungen" || true; }

echo "unsynchronised: 503 at once, asked back later, and the reason in the log"
ntp unsynchron
dienst_starten 127.0.0.1 0 2>"$arbeit/meldungen"
erwarten "status" 503 "$(status_von)"
erwarten "Retry-After" 60 "$(sed -n 's/^Retry-After: \([0-9]*\)\r$/\1/ip' "$arbeit/kopf")"
erwarten "body" "" "$(cat "$arbeit/rumpf")"
grep -q 'not known to be right: the kernel reports it unsynchronised (TIME_ERROR STA_UNSYNC, maximum error 16.000 s)' \
  "$arbeit/meldungen" || fehler "no reason in the log: $(cat "$arbeit/meldungen")"
grep -q '"GET /zeit.php HTTP/1.1" 503 -$' "$arbeit/anfragen" || fehler "503 not in the access log: $(cat "$arbeit/anfragen")"

echo "each change of the verdict, and only a change, is logged"
ntp synchron
warten_auf 20 ist_status 200 || fehler "still $(status_von) after the clock was synchronised"
ntp unsynchron
warten_auf 20 ist_status 503 || fehler "still $(status_von) after the clock lost its synchronisation"
status_von >/dev/null
erwarten "lines for the clock lost" 2 "$(meldungen 'not known to be right')"
erwarten "lines for the clock synchronised" 1 "$(meldungen 'the clock is synchronised (maximum error 0.001 s)')"
dienste_beenden

echo "--serve-unsynchronised answers with the time"
dienst_starten 127.0.0.1 0 --serve-unsynchronised 2>"$arbeit/meldungen"
erwarten "status" 200 "$(status_von)"
erwarten "lines" 0 "$(meldungen 'not known to be right')"
