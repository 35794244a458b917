#!/usr/bin/env bash
# The time service while its host's clock steps, as NTP steps it at boot: the clock interposer sets
# the service's wall clock back an hour and then forward again while clients wait for their answers.
# Every client must keep getting answers, each naming a second that had begun when it arrived.
# Usage: uhrsprung_test.sh ZEITDIENST LIBUHRATTRAPPE
# SPDX-License-Identifier: MIT
set -euo pipefail
ZEITDIENST=$1 UHRATTRAPPE=$2
. "$(dirname "$0")/zeitdienst_lib.sh"
export TZ=UTC  # an hour back must not cross a change of summer time

# The service serves as nobody: it must reach the step file.
chmod 0711 "$arbeit"
export UHRATTRAPPE_SPRUNG=$arbeit/sprung
schreiten() { echo "$1" > "$UHRATTRAPPE_SPRUNG.neu" && chmod 0644 "$UHRATTRAPPE_SPRUNG.neu" && mv "$UHRATTRAPPE_SPRUNG.neu" "$UHRATTRAPPE_SPRUNG"; }
schreiten 0
dienst_starten 127.0.0.1 0

# Three clients, each asking again on its connection the moment it has an answer, so that at every
# moment requests are held. Each answer is one line, "<text> <arrival>", the arrival read after it came.
kunden=() leser=()
vor_dem_aufraeumen() {
  local pid
  for pid in "${kunden[@]}"; do kill "$pid" 2>/dev/null || true; done
}
url=http://127.0.0.1:$port/zeit.php
urls=()
for _ in $(seq 120); do urls+=("$url"); done
for k in 1 2 3; do
  mkfifo "$arbeit/rohr.$k"
  curl -sS --no-buffer --max-time 200 -w '\n' "${urls[@]}" > "$arbeit/rohr.$k" 2>"$arbeit/curl.$k" &
  kunden+=($!)
  : > "$arbeit/kunde.$k"
  while IFS= read -r text; do echo "$text $EPOCHREALTIME"; done < "$arbeit/rohr.$k" > "$arbeit/kunde.$k" &
  leser+=($!)
done

# stunden_zurueck TEXT ARRIVAL: how far an answer's second lies before its arrival, in whole hours.
stunden_zurueck() { awk -v a="$2" -v s="$(date -d "$1" +%s)" 'BEGIN { printf "%.0f\n", (a - s) / 3600 }'; }
gezaehlt=()
zaehlen() {
  local k
  for k in 1 2 3; do gezaehlt[k]=$(wc -l < "$arbeit/kunde.$k"); done
}
# alle_weiter HOURS: every client has had an answer since the last count, and its last names a second
# HOURS back.
alle_weiter() {
  local k letzte
  for k in 1 2 3; do
    [ "$(wc -l < "$arbeit/kunde.$k")" -gt "${gezaehlt[k]}" ] || return 1
    letzte=$(tail -n1 "$arbeit/kunde.$k")
    [ "$(stunden_zurueck "${letzte% *}" "${letzte##* }")" = "$1" ] || return 1
  done
}

zaehlen
warten_auf 30 alle_weiter 0 || fehler "the clients got no answer at all"
echo "the clock set back an hour"
zaehlen
schreiten -3600
warten_auf 30 alle_weiter 1 || fehler "no answers after the clock was set back: $(tail -qn1 "$arbeit"/kunde.*)"
echo "and forward again"
zaehlen
schreiten 0
warten_auf 30 alle_weiter 0 || fehler "no answers after the clock was set forward: $(tail -qn1 "$arbeit"/kunde.*)"
for pid in "${kunden[@]}"; do kill "$pid"; done
for pid in "${leser[@]}"; do wait "$pid"; done

# No answer early: each second had begun, on the service's clock then, when its answer arrived; and on
# each connection the seconds only go forward, each answer a tick of its own.
for k in 1 2 3; do
  while read -r datum zeit ankunft; do
    [ -n "$zeit" ] || continue
    sekunde=$(date -d "$datum $zeit" +%s)
    echo "$sekunde $ankunft $(stunden_zurueck "$datum $zeit" "$ankunft")"
  done < "$arbeit/kunde.$k" | awk -v k="$k" '
    { echt = $1 + 3600 * $3
      if (echt > $2) { print "FAIL: client " k ": second " $1 " (" $3 " h back) arrived early, at " $2; f = 1 }
      if (NR > 1 && echt <= vorher) { print "FAIL: client " k ": second " $1 " after " vorher; f = 1 }
      vorher = echt }
    END { exit f }' >&2 || fehler "client $k"
done
echo "ok"
