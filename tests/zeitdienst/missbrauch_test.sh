#!/usr/bin/env bash
# The time service against clients that take more than their share: one address holding all its
# places, kept-alive connections idling in places others need, a few addresses holding every place
# with heads they never end, and requests pipelined by the dozen.
# Mostly one event loop, so that connections are taken in the order they were made.
# Usage: missbrauch_test.sh ZEITDIENST
# SPDX-License-Identifier: MIT
set -euo pipefail
ZEITDIENST=$1
. "$(dirname "$0")/zeitdienst_lib.sh"

# abgewiesen [CURL OPTIONS...]: a request whose connection is closed without an answer.
abgewiesen() {
  local rc=0
  holen -o /dev/null "$@" "http://127.0.0.1:$port/" 2>/dev/null || rc=$?
  [ "$rc" = 52 ] || [ "$rc" = 56 ]
}
# begonnen VAR: a connection that has begun a request and holds its place until it goes on.
begonnen() {
  verbinden "$1"
  printf 'GET /zeit.php HTTP/1.1\r\n' >&"${!1}"
}
# ruhend VAR: a kept-alive connection that has had its answer and waits idle.
ruhend() {
  verbinden "$1"
  printf 'GET / HTTP/1.1\r\nHost: x\r\n\r\n' >&"${!1}" 2>/dev/null || true
  antwort_lesen "${!1}" && [ "$status" = 200 ] || fehler "no answer on a new kept-alive connection"
}

echo "one address at its limit keeps no other out"
dienst_starten 127.0.0.1 0 --threads 1 --sofort --max-per-address 2 --header-timeout 60000
begonnen a1
begonnen a2
abgewiesen || fehler "a third connection from one address was let in beyond --max-per-address 2"
erwarten "another address beside it" 200 "$(holen -o /dev/null -w '%{http_code}' --interface 127.0.0.2 "http://127.0.0.1:$port/")"
exec {a1}>&- {a2}>&-

echo "every place reading a head: the longest at it gives its place to a new client"
dienst_starten 127.0.0.1 0 --threads 1 --sofort --max-connections 2 --header-timeout 60000
begonnen b1
begonnen b2
erwarten "a new client" 200 "$(holen -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/")"
zu "$b1" || fehler "the connection longest at its head was not closed for the new client"
printf 'Host: x\r\n\r\n' >&"$b2"
antwort_lesen "$b2" && [ "$status" = 200 ] || fehler "the younger head was closed too"
exec {b1}>&- {b2}>&-

echo "an idle kept-alive connection gives its place to a new client"
dienst_starten 127.0.0.1 0 --threads 1 --sofort --max-connections 3 --header-timeout 60000
ruhend r1
ruhend r2
begonnen b1
ruhend neu
zu "$r1" || fehler "the longest idle connection was not closed for the new client"
printf 'GET / HTTP/1.1\r\nHost: x\r\n\r\n' >&"$r2"
antwort_lesen "$r2" && [ "$status" = 200 ] || fehler "the other idle connection was closed too"
exec {r1}>&- {r2}>&- {b1}>&- {neu}>&-

echo "every place held by heads that never end, from five addresses: a sixth is answered every time"
dienst_starten 127.0.0.1 0 --threads 2 --sofort --max-connections 10 --max-per-address 2 --header-timeout 60000
/usr/bin/python3 "$(dirname "$0")/koepfe.py" "$port" 2 127.0.0.{2..6} &
halter=$!
vor_dem_aufraeumen() { kill "$halter" 2>/dev/null || true; }
# The service's ends of the five addresses' connections: all ten places, and no other connection open.
alle_gehalten() {
  local enden
  enden=$(ss -Htn state established "( sport = :$port )")
  [ "$(grep -c ' 127\.0\.0\.[2-6]:' <<< "$enden")" = 10 ] && [ "$(wc -l <<< "$enden")" = 10 ]
}
for versuch in 1 2 3 4 5; do
  warten_auf 30 alle_gehalten || fehler "the five addresses did not take every place before try $versuch"
  erwarten "the sixth address, try $versuch" 200 \
    "$(holen -o /dev/null -w '%{http_code}' --interface 127.0.0.7 "http://127.0.0.1:$port/" 2>/dev/null)"
done
kill "$halter"
wait "$halter" 2>/dev/null || true

echo "pipelined requests: answered together at the tick, in order, and a bounded number of them"
dienst_starten 127.0.0.1 0 --threads 1
# in_einem_stueck FD PATH...: a GET for each path, all in one write, so that they arrive in one piece
# (bash writes what it prints line by line).
in_einem_stueck() {
  local fd=$1
  shift
  printf 'GET %s HTTP/1.1\r\nHost: x\r\n\r\n' "$@" > "$arbeit/stueck"
  cat "$arbeit/stueck" >&"$fd"
}
verbinden p
in_einem_stueck "$p" /zeit.php /nichts /
statusse=() sekunden=()
for _ in 1 2 3; do
  antwort_lesen "$p" || fehler "pipelined requests: only ${#statusse[@]} answers"
  statusse+=("$status")
  sekunden+=("$(kopfzeile Date)")
done
erwarten "answers in the order asked" "200 404 200" "${statusse[*]}"
erwarten "one tick for all three" 1 "$(printf '%s\n' "${sekunden[@]}" | sort -u | wc -l)"
mapfile -t zwanzig < <(seq 20 | sed 's|.*|/?&|')
in_einem_stueck "$p" "${zwanzig[@]}"
n=0
while antwort_lesen "$p"; do
  n=$((n + 1))
  [ "$n" -le 8 ] || fehler "more than 8 pipelined requests answered on one connection"
  [ "$(kopfzeile Connection)" != close ] || break
done
erwarten "answers to 20 pipelined requests before the connection is closed" 8 "$n"
zu "$p" || fehler "still open after its eighth pipelined answer"
exec {p}>&-
echo "ok"
