#!/usr/bin/env bash
# Starts the reference time service in its normal and fault modes on loopback and checks its answers with curl.
# Usage: zeitdienst_test.sh ZEITDIENST
set -euo pipefail

zeitdienst=$1
arbeit=$(mktemp -d)
pids=()
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

# Starts a server on a free port; sets $pid and $port.
nummer=0
starten() {
  nummer=$((nummer + 1))
  local aus="$arbeit/aus.$nummer"
  : >"$aus"
  "$zeitdienst" --port 0 --ende-nach 30 "$@" >"$aus" &
  pid=$!
  pids+=("$pid")
  for _ in $(seq 100); do
    port=$(sed -n 's/^zeitdienst: listening on 127\.0\.0\.1:\([0-9]\+\)$/\1/p' "$aus")
    [ -n "$port" ] && return 0
    sleep 0.05
  done
  echo "FAIL: zeitdienst $* did not report its port" >&2
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

echo "time answers, in the server's own time zone"
TZ=Asia/Kathmandu starten --log "$arbeit/anfragen.log" --port-datei "$arbeit/port"
pruefen "port file" "$port" "$(cat "$arbeit/port")"
for pfad in / /zeit.php; do
  pruefen "status of $pfad" 200 "$(holen -o "$arbeit/rumpf" -D "$arbeit/kopf" -w '%{http_code}' "http://127.0.0.1:$port$pfad")"
  rumpf=$(cat "$arbeit/rumpf")
  pruefen "length of $pfad" 19 "$(wc -c <"$arbeit/rumpf")"
  [[ $rumpf =~ $zeitmuster ]] || pruefen "form of $pfad" "YYYY-MM-DD HH:MM:SS" "$rumpf"
  abstand=$(($(TZ=Asia/Kathmandu date -d "$rumpf" +%s) - $(date +%s)))
  [ "${abstand#-}" -le 2 ] || pruefen "$pfad as Kathmandu local time" "within 2 s" "$abstand s off"
  pruefen "Content-Type of $pfad" 1 "$(grep -ci '^Content-Type: text/plain; charset=utf-8' "$arbeit/kopf")"
  pruefen "Cache-Control of $pfad" 1 "$(grep -ci '^Cache-Control: no-store' "$arbeit/kopf")"
  datum=$(sed -n 's/^Date: \(.*GMT\)\r$/\1/p' "$arbeit/kopf")
  abstand=$(($(date -d "$datum" +%s) - $(date +%s)))
  [ -n "$datum" ] && [ "${abstand#-}" -le 2 ] || pruefen "Date header of $pfad" "now, in GMT" "$datum"
done
for pfad in /andere /zeitXphp /zeit.php/mehr; do
  pruefen "status of $pfad" 404 "$(holen -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port$pfad")"
done
pruefen "status of POST" 404 "$(holen -o /dev/null -w '%{http_code}' -d x "http://127.0.0.1:$port/zeit.php")"
pruefen "request log" "$(printf 'GET /\nGET /zeit.php\nGET /andere\nGET /zeitXphp\nGET /zeit.php/mehr\nPOST /zeit.php')" \
  "$(cat "$arbeit/anfragen.log")"

echo "fixed body and status, empty body, redirect"
starten --body "1999-12-31 23:59:59" --status 503
pruefen "--status" 503 "$(holen -o "$arbeit/rumpf" -w '%{http_code}' "http://127.0.0.1:$port/zeit.php")"
pruefen "--body" "1999-12-31 23:59:59" "$(cat "$arbeit/rumpf")"
starten --body ""
pruefen "--body ''" "200 0" "$(holen -o /dev/null -w '%{http_code} %{size_download}' "http://127.0.0.1:$port/")"
starten --redirect "http://127.0.0.1:1/neu"
pruefen "--redirect" "302 http://127.0.0.1:1/neu" \
  "$(holen -o /dev/null -w '%{http_code} %header{location}' "http://127.0.0.1:$port/zeit.php")"

echo "oversized answer"
starten --huge 2
holen -o "$arbeit/rumpf" -D "$arbeit/kopf" "http://127.0.0.1:$port/zeit.php"
pruefen "--huge size" 2097152 "$(wc -c <"$arbeit/rumpf")"
[[ $(head -c 19 "$arbeit/rumpf") =~ $zeitmuster ]] || pruefen "--huge starts with the time" yes no
pruefen "--huge filler" 0 "$(tail -c +20 "$arbeit/rumpf" | tr -d x | wc -c)"
pruefen "--huge is chunked" 1 "$(grep -ci '^Transfer-Encoding: chunked' "$arbeit/kopf")"
pruefen "--huge has no length" 0 "$(grep -ci '^Content-Length' "$arbeit/kopf" || true)"

echo "slow answers"
starten --delay 1000
dauer=$(holen -o /dev/null -w '%{time_total}' "http://127.0.0.1:$port/")
[[ ${dauer%%[.,]*} -ge 1 ]] || pruefen "--delay 1000" ">= 1 s" "$dauer s"
starten --drip 100 --body ab
rc=0
holen --max-time 1 -o "$arbeit/rumpf" "http://127.0.0.1:$port/" 2>/dev/null || rc=$?
pruefen "--drip outlasts the client" 28 "$rc"
tropfen=$(cat "$arbeit/rumpf")
[[ ${#tropfen} -ge 3 && ${#tropfen} -le 12 && $tropfen =~ ^(ab)*a?$ ]] || pruefen "--drip 100 for 1 s" "3..12 bytes of abab..." "$tropfen"

echo "stopping"
starten --delay 20000
holen --max-time 20 -o /dev/null "http://127.0.0.1:$port/" 2>/dev/null &
sleep 0.3
kill -TERM "$pid"
ende_abwarten "$pid" 3
pruefen "SIGTERM during a delayed answer" 0 "$ende"
starten --ende-nach 1
ende_abwarten "$pid" 4
pruefen "--ende-nach 1" 0 "$ende"
rc=0
"$zeitdienst" --gibtsnicht 2>"$arbeit/fehler" || rc=$?
pruefen "unknown option" "2 1" "$rc $(grep -c '^usage:' "$arbeit/fehler")"
rc=0
"$zeitdienst" --port 70000 2>/dev/null || rc=$?
pruefen "port out of range" 2 "$rc"

[ "$fehler" -eq 0 ] || { echo "$fehler check(s) failed" >&2; exit 1; }
echo "ok"
