#!/usr/bin/env bash
# Starts the time service on loopback and checks its answers, bounds, port and units.
# Usage: zeitdienst_test.sh ZEITDIENST UNIT-FOLDER
# SPDX-License-Identifier: MIT
set -euo pipefail

zeitdienst=$1 einheiten=$2
arbeit=$(mktemp -d)
pids=()
trap '' PIPE  # the bounds tests write to sockets the service has closed
# Servers not yet reaped stay our zombies at worst, so their pids cannot be reused under us.
aufraeumen() {
  local p lebendig
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for _ in $(seq 60); do
    lebendig=0
    for p in "${pids[@]}"; do laeuft "$p" && lebendig=1; done
    [ "$lebendig" = 0 ] && break
    sleep 0.05
  done
  for p in "${pids[@]}"; do laeuft "$p" && kill -KILL "$p"; done
  wait 2>/dev/null || true
  rm -rf "$arbeit"
}
trap aufraeumen EXIT

fehler=0
pruefen() {  # DESCRIPTION EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1: expected '$2', got '$3'" >&2
    fehler=$((fehler + 1))
  fi
}

# starten PROGRAM [options...]: a server on a free port; sets $pid and $port.
nummer=0
starten() {
  nummer=$((nummer + 1))
  local aus="$arbeit/aus.$nummer" programm=$1
  shift
  : >"$aus"
  "$programm" --port 0 "$@" >"$aus" &
  pid=$!
  pids+=("$pid")
  for _ in $(seq 100); do
    port=$(sed -n 's/^zeitdienst: listening on 127\.0\.0\.1:\([0-9]\+\)$/\1/p' "$aus")
    [ -n "$port" ] && return 0
    sleep 0.05
  done
  echo "FAIL: $programm $* did not report its port" >&2
  exit 1
}

holen() { curl -sS --noproxy '*' --max-time 5 "$@"; }

laeuft() { [ -e "/proc/$1" ] && ! grep -q ') Z ' "/proc/$1/stat" 2>/dev/null; }

# Waits at most SECONDS for PID to end; sets $ende to its exit status.
ende_abwarten() {
  for _ in $(seq $(($2 * 20))); do laeuft "$1" || break; sleep 0.05; done
  ende="still running"
  laeuft "$1" && return 0
  ende=0
  wait "$1" || ende=$?
  local rest=() p
  for p in "${pids[@]}"; do [ "$p" = "$1" ] || rest+=("$p"); done
  pids=("${rest[@]}")
}

zeitmuster='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$'
clf='^127\.0\.0\.1 - - \[[0-9]{2}/[A-Z][a-z]{2}/[0-9]{4}:[0-9:]{8} \+0545\] "[A-Z]+ [^ ]+ HTTP/1\.1" [0-9]{3} ([0-9]+|-)$'

echo "time answers at the tick, in the zone asked for"
starten "$zeitdienst" --zone Asia/Kathmandu --log "$arbeit/anfragen.log"
for pfad in / /zeit.php; do
  vorher=$(date +%s.%N)
  pruefen "status of $pfad" 200 "$(holen -o "$arbeit/rumpf" -D "$arbeit/kopf" -w '%{http_code}' "http://127.0.0.1:$port$pfad")"
  nachher=$(date +%s.%N)
  rumpf=$(cat "$arbeit/rumpf")
  pruefen "length of $pfad" 19 "$(wc -c <"$arbeit/rumpf")"
  [[ $rumpf =~ $zeitmuster ]] || pruefen "form of $pfad" "YYYY-MM-DD HH:MM:SS" "$rumpf"
  # A second that began after the request was sent, and had begun when the answer arrived.
  sekunde=$(TZ=Asia/Kathmandu date -d "$rumpf" +%s)
  awk -v v="$vorher" -v n="$nachher" -v s="$sekunde" 'BEGIN { exit !(v < s && s <= n) }' ||
    pruefen "$pfad held to the tick" "a second in ($vorher, $nachher]" "$sekunde"
  pruefen "Content-Type of $pfad" 1 "$(grep -ci '^Content-Type: text/plain; charset=utf-8' "$arbeit/kopf")"
  pruefen "Cache-Control of $pfad" 1 "$(grep -ci '^Cache-Control: no-store' "$arbeit/kopf")"
  datum=$(sed -n 's/^Date: \(.*GMT\)\r$/\1/p' "$arbeit/kopf")
  pruefen "Date header of $pfad" "$sekunde" "$(date -d "$datum" +%s 2>/dev/null)"
done
for pfad in /andere /zeitXphp /zeit.php/mehr; do
  pruefen "status of $pfad" 404 "$(holen -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port$pfad")"
done
pruefen "status of POST" 404 "$(holen -o /dev/null -w '%{http_code}' -d x "http://127.0.0.1:$port/zeit.php")"
pruefen "request log" "$(printf 'GET /\nGET /zeit.php\nGET /andere\nGET /zeitXphp\nGET /zeit.php/mehr\nPOST /zeit.php')" \
  "$(sed -n 's/^[^"]*"\([^ ]*\) \([^ ]*\) [^"]*".*/\1 \2/p' "$arbeit/anfragen.log")"
pruefen "log lines in Common Log Format" 6 "$(grep -cE "$clf" "$arbeit/anfragen.log")"
starten "$zeitdienst" --sofort
rumpf=$(holen "http://127.0.0.1:$port/")
abstand=$(($(date -d "$rumpf" +%s) - $(date +%s)))
[ "${abstand#-}" -le 1 ] || pruefen "--sofort answers now" "within 1 s" "$abstand s off"

echo "options"
rc=0
"$zeitdienst" --body x 2>"$arbeit/fehler" || rc=$?
pruefen "test modes are not the service's" "2 1" "$rc $(grep -c '^usage:' "$arbeit/fehler")"
for option in --bind --port --zone --sofort --log --max-connections --header-timeout --max-header --version; do
  grep -q -- "^  $option " <("$zeitdienst" --help) || pruefen "--help explains $option" yes no
done
pruefen "no test modes in --help" 0 "$("$zeitdienst" --help | grep -c -- --body || true)"
rc=0
"$zeitdienst" --zone Mars/Olympus 2>/dev/null || rc=$?
pruefen "unknown zone" 2 "$rc"
rc=0
"$zeitdienst" --port 70000 2>/dev/null || rc=$?
pruefen "port out of range" 2 "$rc"

echo "the port: taken is an error, passed by systemd is used"
starten "$zeitdienst"
rc=0
"$zeitdienst" --port "$port" 2>"$arbeit/fehler" >/dev/null || rc=$?
pruefen "taken port" "1 1" "$rc $(grep -c 'already in use' "$arbeit/fehler")"
systemd-socket-activate -l 127.0.0.1:28419 "$zeitdienst" --sofort >"$arbeit/aktiviert" 2>&1 &
pids+=($!)
for _ in $(seq 50); do grep -q Listening "$arbeit/aktiviert" && break; sleep 0.05; done
pruefen "socket from systemd" 200 "$(holen -o /dev/null -w '%{http_code}' http://127.0.0.1:28419/zeit.php)"
pruefen "reports the passed socket" 1 "$(grep -c 'listening on 127.0.0.1:28419$' "$arbeit/aktiviert")"
timeout 30 systemd-analyze verify "$einheiten/zeitdienst.socket" "$einheiten/zeitdienst.service" ||
  pruefen "systemd-analyze verify" 0 $?

echo "bounds"
# langsam: a request head that never ends, one byte every 0.2 s; prints the ms until the service closed.
langsam() {
  local fd t0 rc
  exec {fd}<>"/dev/tcp/127.0.0.1/$port"
  printf 'GET / HTTP/1.1\r\nHost: x\r\nX-' >&"$fd"
  t0=$(date +%s%N)
  for _ in $(seq 25); do
    printf 'x' >&"$fd" 2>/dev/null || true
    rc=0
    read -r -t 0.2 -u "$fd" _ || rc=$?
    if [ "$rc" -le 128 ]; then
      echo $((($(date +%s%N) - t0) / 1000000))
      exec {fd}>&-
      return
    fi
  done
  echo "still open after 5 s"
}
starten "$zeitdienst" --header-timeout 1000
ms=$(langsam)
[[ $ms =~ ^[0-9]+$ ]] && [ "$ms" -ge 900 ] && [ "$ms" -le 2500 ] || pruefen "slow head cut at 1 s" "about 1000 ms" "$ms"
pruefen "head over the cap" 431 \
  "$(holen -o /dev/null -w '%{http_code}' -H "X-Lang: $(head -c 9000 /dev/zero | tr '\0' a)" "http://127.0.0.1:$port/")"
starten "$zeitdienst" --max-connections 2 --threads 1 --sofort
exec {erste}<>"/dev/tcp/127.0.0.1/$port" {zweite}<>"/dev/tcp/127.0.0.1/$port"
rc=0
holen -o /dev/null "http://127.0.0.1:$port/" 2>/dev/null || rc=$?
[ "$rc" = 52 ] || [ "$rc" = 56 ] || pruefen "third connection closed at once" "curl 52 or 56" "$rc"
exec {erste}>&-
for _ in $(seq 40); do
  status=$(holen -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/" 2>/dev/null) && break
  sleep 0.05
done
pruefen "a freed place is taken" 200 "$status"
exec {zweite}>&-

[ "$fehler" -eq 0 ] || { echo "$fehler check(s) failed" >&2; exit 1; }
echo "ok"
