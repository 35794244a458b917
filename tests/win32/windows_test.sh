#!/usr/bin/env bash
# End to end under Wine on a virtual X display: the Windows programs (built with the loopback
# services) fetch in pass order, end by themselves, show the window as designed, wait, and end
# when it is closed. Wine refuses every clock write (error 1314), and the runs must go on anyway.
# Arguments: wineprefix Dadaviru.exe Dadaviru_Autostart.exe linux-tools-folder host-a host-b host-c
set -euo pipefail
export WINEPREFIX=$1
dadaviru=$(realpath "$2") autostart=$(realpath "$3")
werkzeuge=$(realpath "$4")
host_a=$5 host_b=$6 host_c=$7
ZEITDIENST=$werkzeuge/pruefdienst
fensterblick=$werkzeuge/fensterblick
. "$(dirname "$0")/wine_lib.sh"
[ -x "$fensterblick" ] || fehler "no $fensterblick; build the linux preset first"
# Wine's report of each clock write it refuses, one line each.
export WINEDEBUG=-all,err+sync

anzeige_starten

# Four answers: four requests in pass order, and two clock writes for each, all refused.
in_passfolge() {
  anfragen_in_passfolge
  local verweigert
  verweigert=$(grep -c 'NtSetSystemTime not allowed' "$arbeit/wine.log" || true)
  [ "$verweigert" -eq 8 ] || fehler "expected 8 refused clock writes, Wine reported $verweigert"
}

# The program runs in the background, in the folder with dadaviru.txt; $programm_pid is its process.
starten() {
  (cd "$arbeit" && exec setpriv --bounding-set=-sys_time --inh-caps=-sys_time -- wine "$1" 2>>"$arbeit/wine.log") &
  programm_pid=$!
}

# The client area as the lavender run through the window's middle, across and down. Without a
# window manager Wine maps the client area alone; with a frame of its own the run finds it inside.
lavendel_lauf() {
  local fenster=$1 richtung=$2 laenge=$3 mitte=$4 i n=0
  for ((i = 0; i < laenge; i++)); do
    if [ "$richtung" = quer ]; then f=$("$fensterblick" pixel "$fenster" "$i" "$mitte"); else f=$("$fensterblick" pixel "$fenster" "$mitte" "$i"); fi
    [ "$f" = "c0c0ff" ] && n=$((n + 1))
  done
  echo "$n"
}

# Dadaviru: no window while the run works, requests in pass order, and the end by itself.
neu_beginnen
alle_starten 700
starten "$dadaviru"
kein_fenster_waehrend_des_laufs
endet_binnen Dadaviru 60
in_passfolge
echo "ok: Dadaviru fetches in pass order before its window shows, goes on past refused writes and ends"

# Every source dead: no request anywhere, and still the end.
neu_beginnen
echo "http://127.0.0.4:1/zeit.php" > "$arbeit/dadaviru.txt"
starten "$dadaviru"
endet_binnen Dadaviru 60
! grep -q 'NtSetSystemTime' "$arbeit/wine.log" || fehler "clock writes without a source"
echo "ok: Dadaviru without sources writes nothing and ends"

# Dadaviru_Autostart: the window at once, as designed; idle for 30 s; then the run and the end.
neu_beginnen
alle_starten 0
starten "$autostart"
beginn=$SECONDS
fenster_abwarten
read -r breite hoehe < <(xdotool getwindowgeometry "$fenster" | sed -n 's/^ *Geometry: \([0-9]*\)x\([0-9]*\)/\1 \2/p')
sleep 1
innen="$(lavendel_lauf "$fenster" quer "$breite" $((hoehe * 2 / 3)))x$(lavendel_lauf "$fenster" hoch "$hoehe" $((breite / 2)))"
[ "$innen" = "121x41" ] || fehler "lavender client area is $innen in a window of ${breite}x${hoehe}"
sleep $((20 - (SECONDS - beginn)))
[ ! -s "$arbeit/anfragen" ] || fehler "Dadaviru_Autostart did not wait: $(cat "$arbeit/anfragen")"
endet_binnen Dadaviru_Autostart 40
[ $((SECONDS - beginn)) -ge 29 ] || fehler "Dadaviru_Autostart ended after $((SECONDS - beginn)) s"
in_passfolge
echo "ok: Dadaviru_Autostart shows its window (121x41, lavender), waits 30 s, fetches in pass order and ends"

# Closing the window during the wait (the close button's request, which Wine turns into
# WM_CLOSE) ends the program at once, with no request.
neu_beginnen
alle_starten 0
starten "$autostart"
fenster_abwarten
sleep 1
"$fensterblick" schliessen "$fenster"
endet_binnen "Dadaviru_Autostart (closed)" 10
[ ! -s "$arbeit/anfragen" ] || fehler "a request after closing: $(cat "$arbeit/anfragen")"
echo "ok: closing Dadaviru_Autostart's window during the wait ends it with no request"
