#!/usr/bin/env bash
# End to end on a virtual X display (Xvfb): when each program shows its window, what the window
# looks like, when the requests go out, and how the programs end, with every clock write caught.
# Arguments: Dadaviru Dadaviru_Autostart zeitdienst libuhrattrappe.so host-a host-b host-c fensterblick
# SPDX-License-Identifier: MIT
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

starten() { programm_starten "$1"; }
schreibungen() { geschrieben | wc -l; }
. "$(dirname "$0")/desktop_szenarien.sh"

dadaviru_laeuft_vor_dem_fenster
dadaviru_ohne_quellen
autostart_zeigt_sich_und_wartet
vor_dem_tick_schliessen "close button" "$fensterblick" schliessen
vor_dem_tick_schliessen "destroyed from outside" xdotool windowclose
