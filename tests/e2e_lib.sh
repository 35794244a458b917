# Shared pieces of the end-to-end tests: time services on loopback, and runs of the real program
# under the clock interposer with the right to set the clock dropped. Sourced, not run.

ZEITDIENST=${ZEITDIENST:?}
UHRATTRAPPE=${UHRATTRAPPE:?}
# Services and program agree on one zone, so what is served is what gets written.
export TZ=Europe/Berlin
arbeit=$(mktemp -d /tmp/dadaviru-e2e.XXXXXX)
dienste=()

aufraeumen() {
  dienste_beenden
  rm -rf "$arbeit"
}
trap aufraeumen EXIT

fehler() { echo "FAIL: $*" >&2; exit 1; }

# dienst_starten ADDR PORT [zeitdienst options...]: starts a time service and waits until it
# listens; sets $port to its port (useful with port 0). Every request goes to $arbeit/anfragen.
dienst_starten() {
  local adresse=$1 wunschport=$2 portdatei
  shift 2
  portdatei=$(mktemp -u "$arbeit/port.XXXXXX")
  "$ZEITDIENST" --bind "$adresse" --port "$wunschport" --port-datei "$portdatei" --log "$arbeit/anfragen" \
    --ende-nach 300 "$@" >/dev/null &
  dienste+=($!)
  local i
  for i in $(seq 100); do
    [ -s "$portdatei" ] && { port=$(cat "$portdatei"); return 0; }
    sleep 0.05
  done
  fehler "time service on $adresse:$wunschport did not start"
}

# ohne_uhrrecht CMD...: runs CMD without CAP_SYS_TIME, under the clock interposer, in Berlin time.
# Every clock write lands in $arbeit/uhr. In a sanitizer build the interposer is loaded ahead of
# the sanitizer's runtime, which the runtime would otherwise refuse.
ohne_uhrrecht() {
  setpriv --bounding-set=-sys_time --inh-caps=-sys_time -- \
    env LD_PRELOAD="$UHRATTRAPPE" UHRATTRAPPE_PROTOKOLL="$arbeit/uhr" TZ=Europe/Berlin \
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" "$@"
}

# The local times the clock was set to, one per line.
geschrieben() { [ -f "$arbeit/uhr" ] && cut -d' ' -f3- "$arbeit/uhr" || true; }

dienste_beenden() {
  local pid
  for pid in "${dienste[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${dienste[@]}"; do wait "$pid" 2>/dev/null || true; done
  dienste=()
}

neu_beginnen() {
  dienste_beenden
  rm -f "$arbeit/uhr" "$arbeit/anfragen" "$arbeit/dadaviru.txt"
}
