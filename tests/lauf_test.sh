#!/usr/bin/env bash
# End to end, without a display: whole synchronisation runs of the real programs against time
# services on loopback, with every clock write caught by the interposer.
# Arguments: Dadaviru Dadaviru_Autostart zeitdienst libuhrattrappe.so host-a host-b host-c
# (both programs built with the loopback hosts)
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
grep -q '^clock_settime ' "$arbeit/uhr" || fehler "writes did not go through clock_settime"
echo "ok: four sources, eight writes in pass order"
alle_acht=$(geschrieben | cut -c1-10)

# A display that is named but cannot be opened counts as none.
rm -f "$arbeit/uhr" "$arbeit/anfragen"
(cd "$arbeit" && DISPLAY=:4711 ohne_uhrrecht timeout 60 "$dadaviru") || fehler "run with a dead display exited with $?"
[ "$(geschrieben | cut -c1-10)" = "$alle_acht" ] || fehler "with a dead display: $(geschrieben)"
echo "ok: a display that cannot be opened counts as none"

# Dadaviru_Autostart without a display still waits 30 s, then writes the same.
rm -f "$arbeit/uhr" "$arbeit/anfragen"
(cd "$arbeit" && ohne_uhrrecht timeout 120 "$autostart") || fehler "Dadaviru_Autostart exited with $?"
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
before=$(date +%Y)
(cd "$arbeit" && setpriv --bounding-set=-sys_time --inh-caps=-sys_time -- timeout 60 "$dadaviru") \
  || fehler "run without the right exited with $?"
[ "$(date +%Y)" = "$before" ] || fehler "the clock changed"
echo "ok: without the right nothing changes"
