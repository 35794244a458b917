# Shared pieces of the tests under Wine: the Wine prefix of the build, a virtual X display, time
# services on loopback, and every Wine process without the right to set the clock. Sourced, not run.
# Expects WINEPREFIX and ZEITDIENST.

WINEPREFIX=$(realpath -m "${WINEPREFIX:?}")
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
ZEITDIENST=$(realpath -m "${ZEITDIENST:?}")
[ -x "$ZEITDIENST" ] || { echo "FAIL: no $ZEITDIENST; build the linux preset first" >&2; exit 1; }
[ -e "$WINEPREFIX/.dadaviru_bereit" ] || { echo "FAIL: the Wine prefix $WINEPREFIX is not set up" >&2; exit 1; }
# Loopback is reached directly; WinINet under Wine would take a proxy from the environment.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
# Services and programs agree on one zone.
export TZ=Europe/Berlin
arbeit=$(mktemp -d /tmp/dadaviru-wine.XXXXXX)
dienste=()
anzeige_pid=

fehler() { echo "FAIL: $*" >&2; exit 1; }

# ohne_uhrrecht CMD...: runs CMD without CAP_SYS_TIME, so neither Wine nor anything it starts can set
# this machine's clock (Wine refuses clock writes by itself, too).
ohne_uhrrecht() { setpriv --bounding-set=-sys_time --inh-caps=-sys_time -- "$@"; }

# unter_wine SECONDS CMD...: a Windows program under Wine, bounded in time.
unter_wine() {
  local sekunden=$1
  shift
  ohne_uhrrecht timeout -k 10 "$sekunden" wine "$@"
}

# dienst_starten ADDR PORT [zeitdienst options...]: starts a time service and waits until it
# listens; sets $port to its port (useful with port 0). Every request goes to $arbeit/anfragen.
dienst_starten() {
  local adresse=$1 wunschport=$2 portdatei i
  shift 2
  portdatei=$(mktemp -u "$arbeit/port.XXXXXX")
  "$ZEITDIENST" --bind "$adresse" --port "$wunschport" --port-datei "$portdatei" --log "$arbeit/anfragen" \
    --ende-nach 600 "$@" >/dev/null &
  dienste+=($!)
  for i in $(seq 100); do
    [ -s "$portdatei" ] && { port=$(cat "$portdatei"); return 0; }
    sleep 0.05
  done
  fehler "time service on $adresse:$wunschport did not start"
}

dienste_beenden() {
  local pid
  for pid in "${dienste[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${dienste[@]}"; do wait "$pid" 2>/dev/null || true; done
  dienste=()
}

# A virtual X display for the windows; sets DISPLAY.
anzeige_starten() {
  Xvfb -displayfd 9 -screen 0 800x600x24 -nolisten tcp 9>"$arbeit/anzeige" 2>/dev/null &
  anzeige_pid=$!
  local i
  for i in $(seq 100); do [ -s "$arbeit/anzeige" ] && break; sleep 0.05; done
  [ -s "$arbeit/anzeige" ] || fehler "Xvfb did not start"
  export DISPLAY=:$(cat "$arbeit/anzeige")
}

aufraeumen() {
  dienste_beenden
  # The Wine server of the prefix outlives its last program by a few seconds; wait for it.
  ohne_uhrrecht timeout 30 wineserver -w 2>/dev/null || true
  if [ -n "$anzeige_pid" ]; then kill "$anzeige_pid" 2>/dev/null || true; wait "$anzeige_pid" 2>/dev/null || true; fi
  rm -rf "$arbeit"
}
trap aufraeumen EXIT
