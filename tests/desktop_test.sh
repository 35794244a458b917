#!/usr/bin/env bash
# End to end on a virtual X display (Xvfb): when each program shows its window, what the window
# looks like, when the requests go out, and how the programs end, with every clock write caught.
# Arguments: Dadaviru Dadaviru_Autostart zeitdienst libuhrattrappe.so host-a host-b host-c fensterblick
set -euo pipefail
dadaviru=$1 autostart=$2
export ZEITDIENST=$3 UHRATTRAPPE=$4
host_a=$5 host_b=$6 host_c=$7 fensterblick=$8
. "$(dirname "$0")/e2e_lib.sh"

anzeige_starten

in_passfolge() {
  anfragen_in_passfolge
  [ "$(geschrieben | sed -n '2p;4p;6p;8p' | paste -sd,)" = \
    "2001-01-01 01:01:01,2002-02-02 02:02:02,2003-03-03 03:03:03,2004-04-04 04:04:04" ] \
    && [ "$(geschrieben | wc -l)" -eq 8 ] || fehler "writes: $(geschrieben | paste -sd,)"
}

# The program runs in the background, in the folder with dadaviru.txt; $programm_pid is its process.
starten() { (cd "$arbeit" && ohne_uhrrecht "$1") & programm_pid=$!; }

# Dadaviru: the window stays hidden while the run works, and the program ends by itself after it.
neu_beginnen
alle_starten 700
starten "$dadaviru"
kein_fenster_waehrend_des_laufs
endet_binnen Dadaviru 30
in_passfolge
# The service logs each answer as it sends it; the end follows about 10 ms after the last.
nach_letzter_antwort=$(awk -v e="$programmende" -v a="$(stat -c %.3Y "$arbeit/anfragen")" 'BEGIN { print e - a }')
awk -v d="$nach_letzter_antwort" 'BEGIN { exit !(d < 1.5) }' \
  || fehler "Dadaviru ended ${nach_letzter_antwort} s after the last answer"
echo "ok: Dadaviru runs before its window shows, writes in pass order and ends"

# Dadaviru with every source dead: no write, and still the end.
neu_beginnen
echo "http://127.0.0.4:1/zeit.php" > "$arbeit/dadaviru.txt"
starten "$dadaviru"
endet_binnen Dadaviru 30
[ -z "$(geschrieben)" ] || fehler "writes without a source: $(geschrieben)"
echo "ok: Dadaviru without sources writes nothing and ends"

# Dadaviru_Autostart: the window shows at once, idle; after 30 s the run, then the end.
neu_beginnen
alle_starten 0
starten "$autostart"
beginn=$SECONDS
fenster_abwarten
geometrie=$(xdotool getwindowgeometry "$fenster" | sed -n 's/^ *Geometry: //p')
[ "$geometrie" = "121x41" ] || fehler "client area is $geometrie"
sleep 1
farbe=$("$fensterblick" pixel "$fenster" 60 20)
[ "$farbe" = "c0c0ff" ] || fehler "background is #$farbe"
sleep $((20 - (SECONDS - beginn)))
[ ! -s "$arbeit/anfragen" ] && [ -z "$(geschrieben)" ] || fehler "Dadaviru_Autostart did not wait"
endet_binnen Dadaviru_Autostart 40
in_passfolge
echo "ok: Dadaviru_Autostart shows its window, waits 30 s, writes in pass order and ends"

# Closing Dadaviru_Autostart's window during the wait ends it without a request: once with the
# close button's request, once with the window destroyed from outside.
for schliessen in "$fensterblick schliessen" "xdotool windowclose"; do
  neu_beginnen
  alle_starten 0
  starten "$autostart"
  fenster_abwarten
  $schliessen "$fenster"
  endet_binnen "Dadaviru_Autostart ($schliessen)" 10
  [ ! -s "$arbeit/anfragen" ] && [ -z "$(geschrieben)" ] || fehler "a request or a write after closing"
done
echo "ok: closing Dadaviru_Autostart's window during the wait ends it with no request"
