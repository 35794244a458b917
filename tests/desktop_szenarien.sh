# The desktop scenarios, written once for the Linux programs on Xvfb and the Windows programs
# under Wine. Sourced after e2e_lib.sh by a script that provides, for its platform:
#   starten PROGRAM    runs it in the background (programm_starten) in $arbeit;
#   schreibungen       prints how many clock writes the program has made so far;
#   in_passfolge       fails unless four requests came in pass order, with two clock writes each;
# and sets $dadaviru, $autostart and $fensterblick.
# SPDX-License-Identifier: MIT

nichts_geschrieben() { [ "$(schreibungen)" -eq 0 ]; }

# Dadaviru: the window stays hidden while the run works, and the program ends by itself after it.
dadaviru_laeuft_vor_dem_fenster() {
  neu_beginnen
  alle_starten 700
  starten "$dadaviru"
  kein_fenster_waehrend_des_laufs
  endet_binnen Dadaviru 60
  in_passfolge
  echo "ok: Dadaviru runs before its window shows, writes in pass order and ends"
}

# Dadaviru with every source dead: no write, and still the end.
dadaviru_ohne_quellen() {
  neu_beginnen
  echo "http://127.0.0.4:1/zeit.php" > "$arbeit/dadaviru.txt"
  starten "$dadaviru"
  endet_binnen Dadaviru 60
  nichts_geschrieben || fehler "writes without a source"
  echo "ok: Dadaviru without sources writes nothing and ends"
}

# Dadaviru_Autostart: the window shows at once, 121x41 and lavender, and stays through the run,
# which waits for Timer_start's first tick (a short wait in the loopback programs); then the end.
autostart_zeigt_sich_und_wartet() {
  neu_beginnen
  alle_starten 0
  starten "$autostart"
  fenster_abwarten
  warten_auf 20 lavendel_innen || fehler "lavender client area is $innen"
  erste_anfrage_nach_der_wartezeit Dadaviru_Autostart
  endet_binnen Dadaviru_Autostart 60
  in_passfolge
  echo "ok: Dadaviru_Autostart shows its window (121x41, lavender), waits for Timer_start, writes in pass order and ends"
}

# A frame around the client area, where a window manager or Wine draws one, does not count.
lavendel_innen() {
  innen=$("$fensterblick" flaeche "$fenster" c0c0ff)
  [ "$innen" = "121x41" ]
}

# How long before Timer_start's first tick can fall due a close must have been sent to count: the
# program then has that long to take the close before the tick, which no load here comes near.
vorsprung_s=2

# vor_dem_tick_schliessen NAME CLOSE-COMMAND...: starts Dadaviru_Autostart ($autostart) against four
# answering services, closes its window with CLOSE-COMMAND (the window's id appended) once it is
# painted, and checks that the program ends without a request or a clock write. The first tick
# falls due no earlier than Timer_start's interval after the process was made, so a close sent later
# than $vorsprung_s before that proves nothing on a slow machine: that start is tried again, three
# times at most.
vor_dem_tick_schliessen() {
  local name=$1 versuch gesendet
  shift
  for versuch in 1 2 3; do
    neu_beginnen
    alle_starten 0
    starten "$autostart"
    fenster_abwarten
    warten_auf 20 gemalt || fehler "$name: the window was not painted"
    "$@" "$fenster"
    gesendet=$(seit_boot)
    if awk -v g="$gesendet" -v b="$beginn" -v ms="$DADAVIRU_WARTEZEIT_MS" -v v="$vorsprung_s" \
      'BEGIN { exit !(g - b > ms / 1000 - v) }'; then
      endet_binnen "$name" 60
      echo "$name: the close was sent too late to count; again"
      continue
    fi
    endet_binnen "$name" 20
    [ ! -s "$arbeit/anfragen" ] || fehler "$name: a request after closing: $(cat "$arbeit/anfragen")"
    nichts_geschrieben || fehler "$name: a clock write after closing"
    echo "ok: closing Dadaviru_Autostart's window before Timer_start's tick ends it with no request ($name)"
    return 0
  done
  fehler "$name: three times the window could not be closed in time before Timer_start's first tick"
}

# The window's middle shows the lavender background: it is mapped and its event loop runs.
gemalt() {
  local breite hoehe
  read -r breite hoehe < <(xdotool getwindowgeometry "$fenster" | sed -n 's/^ *Geometry: \([0-9]*\)x\([0-9]*\)/\1 \2/p')
  [ "$("${fensterblick:?}" pixel "$fenster" $((breite / 2)) $((hoehe / 2)))" = "c0c0ff" ]
}
