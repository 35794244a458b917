# Shared pieces of the tests under Wine, on top of those of every end-to-end test: the Wine prefix
# of the build, and every Wine process without the right to set the clock. Sourced, not run.
# Expects WINEPREFIX, and ZEITDIENST where a script starts time services.
# SPDX-License-Identifier: MIT

WINEPREFIX=$(realpath -m "${WINEPREFIX:?}")
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ -n "${ZEITDIENST:-}" ]; then
  ZEITDIENST=$(realpath -m "$ZEITDIENST")
  [ -x "$ZEITDIENST" ] || { echo "FAIL: no $ZEITDIENST; build the linux preset first" >&2; exit 1; }
fi
[ -e "$WINEPREFIX/.dadaviru_bereit" ] || { echo "FAIL: the Wine prefix $WINEPREFIX is not set up" >&2; exit 1; }
# Loopback is reached directly; WinINet under Wine would take a proxy from the environment.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
unset UHRATTRAPPE
. "$(dirname "${BASH_SOURCE[0]}")/../e2e_lib.sh"
wine_waehlen "$WINEPREFIX.bin"

# The Wine server of the prefix outlives its last program by a few seconds; wait for it.
vor_dem_aufraeumen() { ohne_uhrrecht timeout 30 wineserver -w 2>/dev/null || true; }

# unter_wine [-w] SECONDS CMD...: a Windows program under Wine, bounded in time, without the right to
# set this machine's clock (Wine refuses clock writes by itself, too). With -w it then waits for the
# prefix's Wine server to end: by then whatever the program left running has ended too (an
# uninstaller hands over to its copy in Temp), and the registry is on disk.
unter_wine() {
  local warten= status=0
  if [ "$1" = -w ]; then warten=1; shift; fi
  local sekunden=$1
  shift
  ohne_uhrrecht timeout -k 10 "$sekunden" wine "$@" || status=$?
  [ -z "$warten" ] || ohne_uhrrecht timeout 60 wineserver -w
  return $status
}

# For a whole run of a program (the installer's test runs the installed ones), with
# WINEDEBUG holding err+sync: Wine reports each clock write it refuses on a line of its own, as the
# program makes it.
schreibungen() { cat "$arbeit/wine.log" 2>/dev/null | grep -c 'NtSetSystemTime not allowed' || true; }

# Four answers: four requests in pass order, and two clock writes for each, all refused.
in_passfolge() {
  anfragen_in_passfolge
  erwarten "refused clock writes" 8 "$(schreibungen)"
}

# starten PROGRAM: in the background, in the folder with dadaviru.txt, Wine's report in $arbeit/wine.log.
starten() { programm_starten wine "$1" 2>>"$arbeit/wine.log"; }
