#!/usr/bin/env bash
# The time service logging to a pipe that nobody reads, as to a journal that has stopped reading: the
# answers go on, and on time; the lines that find no room are counted, and the count is logged once
# the pipe is read again; and every line that is logged is whole.
# Usage: protokollstau_test.sh ZEITDIENST
# SPDX-License-Identifier: MIT
set -euo pipefail
ZEITDIENST=$1
. "$(dirname "$0")/zeitdienst_lib.sh"

# zwischen LOW S HIGH: LOW < S <= HIGH
zwischen() { awk -v v="$1" -v s="$2" -v n="$3" 'BEGIN { exit !(v < s && s <= n) }'; }

mkfifo "$arbeit/rohr"
exec {rohr}<>"$arbeit/rohr"
# The log is standard output; its first line, where the service listens, is all that is read of it
# until the end. With few places the service keeps few lines waiting for the log; but room for two
# rounds of the load below, since a round's connections may come while a loop still holds the places
# of the last one, and for a new client the one longest at its head would be closed.
uhrrecht_vorsatz
"${vorsatz[@]}" timeout -k 5 900 "$ZEITDIENST" --bind 127.0.0.1 --port 0 --log - --max-connections 128 $dienst_optionen \
  >&"$rohr" &
dienste+=($!)
IFS= read -r -t 20 -u "$rohr" zeile || fehler "the service did not start"
port=${zeile##*:}
leser=
vor_dem_aufraeumen() { [ -z "$leser" ] || kill "$leser" 2>/dev/null || true; }

echo "the log not read: thousands of answers, at their ticks"
# Eight rounds of 50 connections with 8 requests each, pipelined: the service answers them at the
# tick and closes each connection with its eighth answer. Long targets make long lines, so the pipe
# and what waits for it are full within the first rounds. It prints how many answers came.
flut() {
  /usr/bin/python3 - "$port" <<'PY'
import socket
import sys
import time

port = int(sys.argv[1])
lang = b"0" * 200
anfragen = b"".join(b"GET /?%d%s HTTP/1.1\r\nHost: x\r\n\r\n" % (i, lang) for i in range(1, 9))
antworten = 0
for runde in range(1, 9):
    verbindungen = [socket.create_connection(("127.0.0.1", port), timeout=10) for _ in range(50)]
    for v in verbindungen:
        v.sendall(anfragen)
    for nummer, v in enumerate(verbindungen):
        gelesen, ende, beginn = b"", "closed", time.monotonic()
        try:
            while stueck := v.recv(65536):
                gelesen += stueck
        except OSError as e:
            ende = repr(e)
        v.close()
        n = gelesen.count(b"HTTP/1.1 200 ")
        if n != 8:
            sys.exit(f"round {runde}: {n} answers on connection {nummer} ({ende} after {time.monotonic() - beginn:.1f} s;"
                     f" {gelesen[:120]!r}), after {antworten} answers in all")
        antworten += n
print(antworten)
PY
}
antworten=$(flut) || fehler "the service stopped answering"
vorher=$EPOCHREALTIME
rumpf=$(holen "http://127.0.0.1:$port/zeit.php") || fehler "no answer after $antworten answers with the log not read"
nachher=$EPOCHREALTIME
sekunde=$(date -d "$rumpf" +%s)
zwischen "$vorher" "$sekunde" "$nachher" || fehler "answered with second $sekunde, asked at $vorher, answered by $nachher"

echo "read again: every line whole, and those dropped counted"
cat <&"$rohr" >"$arbeit/gelesen" &
leser=$!
warten_auf 30 grep -q 'log lines dropped$' "$arbeit/gelesen" || fehler "no count of dropped lines"
holen -o /dev/null "http://127.0.0.1:$port/?zuletzt"
warten_auf 30 grep -q 'GET /?zuletzt ' "$arbeit/gelesen" || fehler "the log does not go on"
clf='^127\.0\.0\.1 - - \[[^]]*\] "GET /[^ ]* HTTP/1\.1" 200 19$'
zaehlung='^zeitdienst: [0-9]+ log lines dropped$'
if grep -vEe "$clf" -e "$zaehlung" "$arbeit/gelesen" | head -n3 | grep .; then fehler "lines neither whole nor the count"; fi
geschrieben=$(grep -cE "$clf" "$arbeit/gelesen")
verworfen=$(awk '/^zeitdienst: [0-9]+ log lines dropped$/ { n += $2 } END { print n + 0 }' "$arbeit/gelesen")
erwarten "lines logged and dropped, of $antworten + 2 answers (logged: $geschrieben)" $((antworten + 2)) \
  $((geschrieben + verworfen))
echo "ok"
