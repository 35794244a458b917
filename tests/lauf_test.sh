#!/usr/bin/env bash
# End to end, without a display: whole synchronisation runs of the real programs against time
# services on loopback, with every direct clock write (by the helper uhrsteller) caught by the
# interposer.
# Arguments: Dadaviru Dadaviru_Autostart zeitdienst libuhrattrappe.so host-a host-b host-c
# (both programs built with the loopback hosts)
# SPDX-License-Identifier: MIT
set -euo pipefail
dadaviru=$1 autostart=$2
export ZEITDIENST=$3 UHRATTRAPPE=$4
host_a=$5 host_b=$6 host_c=$7
. "$(dirname "$0")/e2e_lib.sh"
unset DISPLAY WAYLAND_DISPLAY

starten_auf() { dienst_starten "${1%:*}" "${1##*:}" "${@:2}"; }

# All four answer: eight writes in pass order, the last answer wins, and the run ends by itself.
starten_auf "$host_a" --body "2001-01-01 01:01:01"
starten_auf "$host_b" --body "2002-02-02 02:02:02"
starten_auf "$host_c" --body "2003-03-03 03:03:03"
dienst_starten 127.0.0.4 0 --body "2004-04-04 04:04:04"
echo "\"http://127.0.0.4:$port/zeit.php?eigene\",Kommentar" > "$arbeit/dadaviru.txt"

(cd "$arbeit" && ohne_uhrrecht timeout 60 "$dadaviru") || fehler "run exited with $?"
[ "$(anfragen)" = "$(printf 'GET /zeit.php\nGET /zeit.php\nGET /\nGET /zeit.php')" ] \
  || fehler "requests: $(anfragen)"
mapfile -t w < <(geschrieben)
[ ${#w[@]} -eq 8 ] || fehler "expected 8 clock writes, got: ${w[*]}"
for i in 0 1 2 3; do
  n=$((i + 1))
  [[ ${w[2*i]} == 200$n-0$n-0$n\ * ]] || fehler "write $((2*i)): ${w[2*i]}"
  [ "${w[2*i+1]}" = "200$n-0$n-0$n 0$n:0$n:0$n" ] || fehler "write $((2*i+1)): ${w[2*i+1]}"
done
# Each by the helper, none by the program itself.
[ "$(cut -d' ' -f1,6 "$arbeit/uhr" | sort -u)" = "clock_settime uhrsteller" ] \
  || fehler "writes not by the helper's clock_settime: $(cat "$arbeit/uhr")"
echo "ok: four sources, eight writes in pass order"
alle_acht=$(geschrieben | cut -c1-10)

# A timedated that takes the first call and never answers it: that write waits out its time-out,
# none after it is tried, none goes round it, and the run still ends by itself. What the real
# timedated and polkit decide is tested against them (uhrkette_test.sh).
privaten_bus_starten
timedated_starten true
rm -f "$arbeit/uhr" "$arbeit/anfragen"
(cd "$arbeit" && ohne_uhrrecht timeout 60 "$dadaviru") || fehler "run with a silent timedated exited with $?"
anfragen_in_passfolge
[ "$(grep -c ' SetTime ' "$arbeit/timedated")" -eq 1 ] && [ ! -s "$arbeit/uhr" ] \
  || fehler "with a silent timedated: $(cat "$arbeit/timedated" "$arbeit/uhr" 2>/dev/null)"
echo "ok: a silent timedated holds the run once, and nothing goes round it"

# A bus without timedated on it: the direct write.
bus_beenden
privaten_bus_starten
rm -f "$arbeit/uhr" "$arbeit/anfragen"
(cd "$arbeit" && ohne_uhrrecht timeout 60 "$dadaviru") || fehler "run on a bus without timedated exited with $?"
[ "$(geschrieben | cut -c1-10)" = "$alle_acht" ] && grep -q '^clock_settime ' "$arbeit/uhr" \
  || fehler "on a bus without timedated: $(geschrieben)"
bus_beenden
echo "ok: without timedated on the bus, the direct write"

# A display that is named but cannot be opened counts as none.
rm -f "$arbeit/uhr" "$arbeit/anfragen"
(cd "$arbeit" && DISPLAY=:4711 ohne_uhrrecht timeout 60 "$dadaviru") || fehler "run with a dead display exited with $?"
[ "$(geschrieben | cut -c1-10)" = "$alle_acht" ] || fehler "with a dead display: $(geschrieben)"
echo "ok: a display that cannot be opened counts as none"

# Dadaviru_Autostart without a display still waits for Timer_start, then writes the same.
rm -f "$arbeit/uhr" "$arbeit/anfragen"
programm_starten "$autostart"
erste_anfrage_nach_der_wartezeit "Dadaviru_Autostart without a display"
endet_binnen "Dadaviru_Autostart without a display" 60
[ "$(geschrieben | cut -c1-10)" = "$alle_acht" ] && [ "$(geschrieben | tail -n1)" = "2004-04-04 04:04:04" ] \
  || fehler "Dadaviru_Autostart wrote: $(geschrieben)"
echo "ok: Dadaviru_Autostart without a display writes the same"

# Without an override file pass 3 fetches nothing; a failed pass writes nothing.
neu_beginnen
starten_auf "$host_a" --status 500 --body "2001-01-01 01:01:01"
starten_auf "$host_b" --body "2002-02-02 02:02:02"
(cd "$arbeit" && ohne_uhrrecht timeout 60 "$dadaviru") || fehler "run exited with $?"
[ "$(anfragen)" = "$(printf 'GET /zeit.php\nGET /zeit.php')" ] || fehler "requests: $(anfragen)"
[ "$(geschrieben | tail -n1)" = "2002-02-02 02:02:02" ] && [ "$(geschrieben | wc -l)" -eq 2 ] \
  || fehler "writes: $(geschrieben)"
echo "ok: failed and missing sources are skipped"

# Every source dead: no write, and the run still ends normally.
neu_beginnen
echo "http://127.0.0.4:1/zeit.php" > "$arbeit/dadaviru.txt"
(cd "$arbeit" && ohne_uhrrecht timeout 60 "$dadaviru") || fehler "run exited with $?"
[ -z "$(geschrieben)" ] || fehler "writes: $(geschrieben)"
echo "ok: no source, no write"

# Without the interposer the dropped right makes both writes fail, silently.
neu_beginnen
starten_auf "$host_a" --body "2001-01-01 01:01:01"
(cd "$arbeit" && UHRATTRAPPE= ohne_uhrrecht timeout 60 "$dadaviru") \
  || fehler "run without the right exited with $?"
[ "$(date +%Y)" != 2001 ] || fehler "the clock changed"
echo "ok: without the right nothing changes"
