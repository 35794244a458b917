# Shared pieces of the end-to-end tests: time services on loopback, a virtual X display, and runs
# of the real programs with the right to set the clock dropped (the Linux ones also under the clock
# interposer, when UHRATTRAPPE names it). Sourced, not run. Expects ZEITDIENST, the test build of
# the time service (pruefdienst).

ZEITDIENST=${ZEITDIENST:?}
UHRATTRAPPE=${UHRATTRAPPE:-}
# Services and program agree on one zone, so what is served is what gets written.
export TZ=Europe/Berlin
arbeit=$(mktemp -d /tmp/dadaviru-e2e.XXXXXX)
dienste=()
anzeige_pid=

# What a sourcing script must do before the services stop and the work folder goes.
vor_dem_aufraeumen() { :; }
aufraeumen() {
  vor_dem_aufraeumen
  dienste_beenden
  if [ -n "$anzeige_pid" ]; then kill "$anzeige_pid" 2>/dev/null || true; wait "$anzeige_pid" 2>/dev/null || true; fi
  rm -rf "$arbeit"
}
trap aufraeumen EXIT

fehler() { echo "FAIL: $*" >&2; exit 1; }

# dienst_starten ADDR PORT [zeitdienst options...]: starts a time service and waits until it
# listens; sets $port to its port (useful with port 0). Every answer is logged to $arbeit/anfragen.
dienst_starten() {
  local adresse=$1 wunschport=$2 portdatei i
  shift 2
  portdatei=$(mktemp -u "$arbeit/port.XXXXXX")
  "$ZEITDIENST" --bind "$adresse" --port "$wunschport" --port-file "$portdatei" --log "$arbeit/anfragen" \
    --end-after 600 "$@" >/dev/null &
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

neu_beginnen() {
  dienste_beenden
  rm -f "$arbeit/uhr" "$arbeit/anfragen" "$arbeit/dadaviru.txt" "$arbeit/wine.log"
}

# alle_starten DELAY_MS: the three built-in services ($host_a, $host_b, $host_c) and a fourth named
# in dadaviru.txt, each answering with a date and time of its own, 2001-01-01 01:01:01 to 2004-...
alle_starten() {
  local verzoegerung=$1
  dienst_starten "${host_a%:*}" "${host_a##*:}" --delay "$verzoegerung" --body "2001-01-01 01:01:01"
  dienst_starten "${host_b%:*}" "${host_b##*:}" --delay "$verzoegerung" --body "2002-02-02 02:02:02"
  dienst_starten "${host_c%:*}" "${host_c##*:}" --delay "$verzoegerung" --body "2003-03-03 03:03:03"
  dienst_starten 127.0.0.4 0 --delay "$verzoegerung" --body "2004-04-04 04:04:04"
  echo "http://127.0.0.4:$port/zeit.php" > "$arbeit/dadaviru.txt"
}

# The requests answered so far, "METHOD path" each (without the query), read from the access log.
anfragen() { sed -n 's/^[^"]*"\([^ ]*\) \([^ ?]*\)[^ ]* [^"]*".*/\1 \2/p' "$arbeit/anfragen" 2>/dev/null || true; }

anfragen_in_passfolge() {
  [ "$(anfragen)" = "$(printf 'GET /zeit.php\nGET /zeit.php\nGET /\nGET /zeit.php')" ] || fehler "requests: $(anfragen)"
}

# ohne_uhrrecht CMD...: runs CMD without CAP_SYS_TIME, in Berlin time, and under the clock
# interposer when there is one: every clock write then lands in $arbeit/uhr. In a sanitizer build
# the interposer is loaded ahead of the sanitizer's runtime, which the runtime would otherwise refuse.
ohne_uhrrecht() {
  setpriv --bounding-set=-sys_time --inh-caps=-sys_time -- \
    env ${UHRATTRAPPE:+LD_PRELOAD="$UHRATTRAPPE" UHRATTRAPPE_PROTOKOLL="$arbeit/uhr"} TZ=Europe/Berlin \
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" "$@"
}

# The local times the clock was set to, one per line.
geschrieben() { [ -f "$arbeit/uhr" ] && cut -d' ' -f3,4 "$arbeit/uhr" || true; }

# A virtual X display for the windows; sets DISPLAY.
anzeige_starten() {
  Xvfb -displayfd 9 -screen 0 800x600x24 -nolisten tcp 9>"$arbeit/anzeige" 2>/dev/null &
  anzeige_pid=$!
  local i
  for i in $(seq 100); do [ -s "$arbeit/anzeige" ] && break; sleep 0.05; done
  [ -s "$arbeit/anzeige" ] || fehler "Xvfb did not start"
  export DISPLAY=:$(cat "$arbeit/anzeige") NO_AT_BRIDGE=1
  xdotool getdisplaygeometry >/dev/null || fehler "no display at $DISPLAY"
}

sichtbares_fenster() { xdotool search --onlyvisible --name '^Zudedaruzu$' 2>/dev/null | head -n1; }

# Watches for 1.5 s that no window is visible, while Dadaviru's run works.
kein_fenster_waehrend_des_laufs() {
  local i
  for i in $(seq 15); do
    [ -z "$(sichtbares_fenster)" ] || fehler "Dadaviru showed its window during the run"
    sleep 0.1
  done
}

# Waits at most 20 s for the window to be mapped; sets $fenster to it.
fenster_abwarten() {
  fenster=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zudedaruzu$' | head -n1) \
    || fehler "no window captioned Zudedaruzu"
}

# endet_binnen NAME SECONDS: waits for the program started as $programm_pid to end by itself; its
# exit status must be 0. Sets $programmende to the moment the end was seen.
endet_binnen() {
  local i status
  for i in $(seq $(($2 * 10))); do
    if ! kill -0 "$programm_pid" 2>/dev/null; then
      programmende=$(date +%s.%N)
      status=0
      wait "$programm_pid" || status=$?
      [ "$status" -eq 0 ] || fehler "$1 exited with status $status"
      return 0
    fi
    sleep 0.1
  done
  kill -9 "$programm_pid" 2>/dev/null || true
  fehler "$1 did not end within $2 s"
}
