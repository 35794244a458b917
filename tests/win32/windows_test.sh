#!/usr/bin/env bash
# End to end under Wine on a virtual X display: the Windows programs (built with the loopback
# services) fetch in pass order, end by themselves, show the window as designed, wait, and end
# when it is closed. Wine refuses every clock write (error 1314), and the runs must go on anyway.
# Arguments: wineprefix Dadaviru.exe Dadaviru_Autostart.exe linux-tools-folder host-a host-b host-c
# SPDX-License-Identifier: MIT
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

. "$(dirname "$0")/../desktop_szenarien.sh"

dadaviru_laeuft_vor_dem_fenster
dadaviru_ohne_quellen
autostart_zeigt_sich_und_wartet
# The close button's request, which Wine turns into WM_CLOSE.
vor_dem_tick_schliessen "close button" "$fensterblick" schliessen
