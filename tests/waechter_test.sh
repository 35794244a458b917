#!/usr/bin/env bash
# End to end, two guards that need the program in a private mount namespace (so root): the answers
# are read in the machine's own zone (/etc/localtime), whatever TZ the caller sets; and a service
# in dadaviru.txt that answers over https cannot redirect the program to plain http.
# Arguments: Dadaviru zeitdienst libuhrattrappe.so host-a host-b host-c
# (the program built with the loopback hosts)
# SPDX-License-Identifier: MIT
set -euo pipefail
dadaviru=$1
export ZEITDIENST=$2 UHRATTRAPPE=$3
host_a=$4
. "$(dirname "$0")/e2e_lib.sh"
. "$(dirname "$0")/uhrkette_lib.sh"
unset DISPLAY WAYLAND_DISPLAY

# The machine's zone is New York, the caller's TZ Berlin: 12:00 is 17:00 UTC, not 11:00.
dienst_starten "${host_a%:*}" "${host_a##*:}" --body "2026-01-15 12:00:00"
(cd "$arbeit" && TZ=Europe/Berlin ohne_uhrrecht "${namensraum[@]}" /usr/share/zoneinfo/America/New_York=/etc/localtime \
  -- timeout 60 "$dadaviru") || fehler "the run in New York exited with $?"
[ "$(wc -l <"$arbeit/uhr")" -eq 2 ] || fehler "expected a date and a time write: $(cat "$arbeit/uhr")"
zeit=$(sed -n 2p "$arbeit/uhr" | cut -d' ' -f2)
[ "${zeit%.*}" = "$(date -u -d '2026-01-15 17:00:00' +%s)" ] \
  || fehler "12:00 in New York written as $(date -u -d "@${zeit%.*}" '+%F %T UTC')"
echo "ok: the machine's zone, not the caller's TZ"

# An https service, trusted through a certificate of the test's own: one path sends the program on
# to itself over https, which it follows; the other to a plain http service, which it must not ask.
neu_beginnen
tls=$arbeit/tls
mkdir -p "$tls/seiten"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.5 -addext subjectAltName=IP:127.0.0.5 \
  -keyout "$tls/schluessel.pem" -out "$tls/zertifikat.pem" 2>/dev/null
dienst_starten 127.0.0.5 0 --body "2005-05-05 05:05:05"
klar=127.0.0.5:$port
# s_server -HTTP sends each file as the whole answer, head included, and ends the connection.
(cd "$tls/seiten" && exec openssl s_server -accept 127.0.0.5:0 -cert ../zertifikat.pem -key ../schluessel.pem -HTTP \
  >"$tls/server.log" 2>&1) &
dienste+=($!)
warten_auf 10 grep -q '^ACCEPT ' "$tls/server.log" || fehler "the https service did not start"
sicher=127.0.0.5:$(sed -n 's/^ACCEPT .*:\([0-9]*\)$/\1/p' "$tls/server.log")
printf 'HTTP/1.0 302 Found\r\nLocation: https://%s/ziel\r\n\r\n' "$sicher" >"$tls/seiten/hoch"
printf 'HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n2006-06-06 06:06:06' >"$tls/seiten/ziel"
printf 'HTTP/1.0 302 Found\r\nLocation: http://%s/zeit.php\r\n\r\n' "$klar" >"$tls/seiten/runter"

ueber_https() {
  echo "https://$sicher/$1" >"$arbeit/dadaviru.txt"
  rm -f "$arbeit/uhr"
  (cd "$arbeit" && ohne_uhrrecht "${namensraum[@]}" "$tls/zertifikat.pem=/etc/ssl/certs/ca-certificates.crt" \
    -- timeout 60 "$dadaviru") || fehler "the run over https exited with $?"
}
ueber_https hoch
[ "$(geschrieben | tail -n1)" = "2006-06-06 06:06:06" ] || fehler "https to https was not followed: $(geschrieben)"
ueber_https runter
[ ! -s "$arbeit/anfragen" ] || fehler "https was redirected to http: $(anfragen)"
[ -z "$(geschrieben)" ] || fehler "an answer over plain http was written: $(geschrieben)"
echo "ok: a redirect from https to http is not followed"
