#!/usr/bin/env bash
# The time service on loopback: its answers and their texts, its options, its port, socket
# activation, and the bounds of a request.
# Usage: dienst_test.sh ZEITDIENST
# SPDX-License-Identifier: MIT
set -euo pipefail
ZEITDIENST=$1
. "$(dirname "$0")/zeitdienst_lib.sh"
zeitdienst=$ZEITDIENST

zeitmuster='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$'
clf='^127\.0\.0\.1 - - \[[0-9]{2}/[A-Z][a-z]{2}/[0-9]{4}:[0-9:]{8} \+0545\] "[A-Z]+ [^ ]+ HTTP/1\.1" [0-9]{3} ([0-9]+|-)$'
# zwischen LOW S HIGH: LOW < S <= HIGH
zwischen() { awk -v v="$1" -v s="$2" -v n="$3" 'BEGIN { exit !(v < s && s <= n) }'; }

echo "time answers at the tick, in the zone asked for"
dienst_starten 127.0.0.1 0 --zone Asia/Kathmandu
for pfad in / /zeit.php; do
  vorher=$EPOCHREALTIME
  erwarten "status of $pfad" 200 "$(holen -o "$arbeit/rumpf" -D "$arbeit/kopf" -w '%{http_code}' "http://127.0.0.1:$port$pfad")"
  nachher=$EPOCHREALTIME
  rumpf=$(cat "$arbeit/rumpf")
  [[ $rumpf =~ $zeitmuster ]] || fehler "form of $pfad: '$rumpf'"
  # The service chose a second that began after the request was sent, and had begun when the answer came.
  sekunde=$(TZ=Asia/Kathmandu date -d "$rumpf" +%s)
  zwischen "$vorher" "$sekunde" "$nachher" || fehler "$pfad answered with second $sekunde, asked at $vorher, answered by $nachher"
  erwarten "Content-Type of $pfad" 1 "$(grep -ci '^Content-Type: text/plain; charset=utf-8' "$arbeit/kopf")"
  erwarten "Cache-Control of $pfad" 1 "$(grep -ci '^Cache-Control: no-store' "$arbeit/kopf")"
  datum=$(sed -n 's/^Date: \(.*GMT\)\r$/\1/p' "$arbeit/kopf")
  erwarten "Date header of $pfad" "$sekunde" "$(date -d "$datum" +%s)"
done
for pfad in /andere /zeitXphp /zeit.php/mehr; do
  erwarten "status of $pfad" 404 "$(holen -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port$pfad")"
done
erwarten "status of POST" 404 "$(holen -o /dev/null -w '%{http_code}' -d x "http://127.0.0.1:$port/zeit.php")"
# The log line is written after the answer: the client has it before the service has logged it.
warten_auf 20 eval '[ "$(wc -l < "$arbeit/anfragen")" -ge 6 ]' || fehler "the log has $(wc -l < "$arbeit/anfragen") lines"
erwarten "request log" "$(printf 'GET /\nGET /zeit.php\nGET /andere\nGET /zeitXphp\nGET /zeit.php/mehr\nPOST /zeit.php')" "$(anfragen)"
erwarten "log lines in Common Log Format" 6 "$(grep -cE "$clf" "$arbeit/anfragen")"

echo "a client that waits between connecting and asking gets no lead from its wait"
# The kernel's first round trip must be the handshake's: one taken from the SYN-ACK to the request
# would include the wait, and the answer would leave up to the lead's bound early.
for _ in 1 2; do
  verbinden wartend
  sleep 0.7  # the client's own pause, as a pooled connection has
  vorher=$EPOCHREALTIME
  printf 'GET /zeit.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n' >&"$wartend"
  antwort_lesen "$wartend" || fehler "no answer after a pause"
  nachher=$EPOCHREALTIME
  exec {wartend}>&-
  sekunde=$(TZ=Asia/Kathmandu date -d "$rumpf" +%s)
  zwischen "$vorher" "$sekunde" "$nachher" || fehler "after a pause: second $sekunde, asked at $vorher, answered by $nachher"
done

echo "--sofort: at once, the nearest second"
dienst_starten 127.0.0.1 0 --sofort
vorher=$EPOCHREALTIME
rumpf=$(holen "http://127.0.0.1:$port/")
nachher=$EPOCHREALTIME
sekunde=$(date -d "$rumpf" +%s)
awk -v v="$vorher" -v s="$sekunde" -v n="$nachher" 'BEGIN { exit !(v - 0.5 <= s && s <= n + 0.5) }' ||
  fehler "--sofort answered with second $sekunde, asked at $vorher, answered by $nachher"

echo "options"
rc=0
ohne_uhrrecht "$zeitdienst" --body x 2>"$arbeit/fehler" || rc=$?
erwarten "the tests' fault modes are not the service's" "2 1" "$rc $(grep -c '^usage:' "$arbeit/fehler")"
ohne_uhrrecht "$zeitdienst" --help >"$arbeit/hilfe"
for option in --bind --port --zone --sofort --log --user --max-connections --max-per-address --max-per-network \
  --header-timeout --max-header --threads --version; do
  grep -q -- "^  $option " "$arbeit/hilfe" || fehler "--help does not explain $option"
done
for falsch in "--zone Mars/Olympus" "--port 70000" "--max-per-address 0" "--threads x"; do
  rc=0
  # shellcheck disable=SC2086 # an option and its value
  ohne_uhrrecht "$zeitdienst" $falsch 2>/dev/null || rc=$?
  erwarten "$falsch" 2 "$rc"
done

echo "the port: taken is an error, passed by systemd is used"
dienst_starten 127.0.0.1 0
rc=0
ohne_uhrrecht "$zeitdienst" --bind 127.0.0.1 --port "$port" 2>"$arbeit/fehler" >/dev/null || rc=$?
erwarten "taken port" "1 1" "$rc $(grep -c 'already in use' "$arbeit/fehler")"
ZEITDIENST=$(dirname "$0")/uebergeben.py UEBERGEBEN_AN=$zeitdienst dienst_starten 127.0.0.1 0 --sofort
erwarten "socket from systemd" 200 "$(holen -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/zeit.php")"

echo "bounds of a request"
dienst_starten 127.0.0.1 0 --header-timeout 1000
# A head that never ends, one byte at a time: cut off, and not before its time was up.
tropfen_bis_zu() {
  printf x >&"$langsam"
  local rc=0
  IFS= read -r -t 0.2 -u "$langsam" _ || rc=$?
  [ "$rc" -ge 1 ] && [ "$rc" -le 128 ]
}
vorher=$EPOCHREALTIME
verbinden langsam
printf 'GET / HTTP/1.1\r\nHost: x\r\nX-' >&"$langsam"
warten_auf 30 tropfen_bis_zu || fehler "a head that never ends was never cut off"
nachher=$EPOCHREALTIME
awk -v v="$vorher" -v n="$nachher" 'BEGIN { exit !(n - v >= 1) }' || fehler "a slow head was cut off after $vorher, by $nachher"
exec {langsam}>&-
erwarten "head over the cap" 431 \
  "$(holen -o /dev/null -w '%{http_code}' -H "X-Lang: $(head -c 9000 /dev/zero | tr '\0' a)" "http://127.0.0.1:$port/")"
echo "ok"
