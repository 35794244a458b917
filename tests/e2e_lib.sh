# Shared pieces of the end-to-end tests: time services on loopback, a private system bus with a
# timedated stand-in, a virtual X display, and runs of the real programs through ohne_uhrrecht
# (the Linux ones also under the clock interposer, when UHRATTRAPPE names it). Sourced, not run; makes
# a work folder and removes it, and everything it started, when the script ends.
# Expects ZEITDIENST, the time service that dienst_starten starts (the tests' pruefdienst, unless a
# script tests the real one).
# SPDX-License-Identifier: MIT

ZEITDIENST=${ZEITDIENST:-}
UHRATTRAPPE=${UHRATTRAPPE:-}
# The services and Wine take this zone. The Linux programs take the machine's (/etc/localtime)
# whatever TZ says; the interposer logs each write in the zone of the process that wrote it.
export TZ=Europe/Berlin
arbeit=$(mktemp -d /tmp/dadaviru-e2e.XXXXXX)
uhr_protokoll=$arbeit/uhr
dienste=()
bus_dienste=()
privater_bus=
anzeige_pid=
. "$(dirname "${BASH_SOURCE[0]}")/sicher_lib.sh"

# What a sourcing script must do before the services stop and the work folder goes.
vor_dem_aufraeumen() { :; }
aufraeumen() {
  vor_dem_aufraeumen
  dienste_beenden
  bus_beenden
  if [ -n "$anzeige_pid" ]; then kill "$anzeige_pid" 2>/dev/null || true; wait "$anzeige_pid" 2>/dev/null || true; fi
  rm -rf "$arbeit"
}
trap aufraeumen EXIT

# dienst_starten ADDR PORT [options...]: starts $ZEITDIENST and waits until it says where it listens;
# sets $port to its port (useful with port 0) and $dienst_pid to its process. Every request goes to
# $arbeit/anfragen. A service outlives no test by long, even one that is killed. $dienst_optionen go
# before the options given.
dienst_nummer=0
dienst_starten() {
  local adresse=$1 wunschport=$2 aus vorsatz
  shift 2
  dienst_nummer=$((dienst_nummer + 1))
  aus=$arbeit/dienst.$dienst_nummer
  uhrrecht_vorsatz
  "${vorsatz[@]}" timeout -k 5 900 "${ZEITDIENST:?}" --bind "$adresse" --port "$wunschport" --log "$arbeit/anfragen" \
    ${dienst_optionen:-} "$@" >"$aus" &
  dienst_pid=$!
  dienste+=("$dienst_pid")
  warten_auf 20 grep -q ': listening on ' "$aus" || fehler "time service on $adresse:$wunschport did not start: $(cat "$aus")"
  port=$(sed -n 's/^[a-z]*: listening on .*:\([0-9]*\)$/\1/p' "$aus" | head -n1)
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

# The requests so far, "METHOD path" each (without the query), read from the service's log.
anfragen() { sed -n 's/^[^"]*"\([^ ]*\) \([^ ?]*\)[^ ]* [^"]*".*/\1 \2/p' "$arbeit/anfragen" 2>/dev/null || true; }

# anfrage_seit_boot N: when pruefdienst saw the head of the Nth request, in seconds since boot.
anfrage_seit_boot() { sed -n "${1}{s/^[^ ]* \([0-9.]*\) .*/\1/p}" "$arbeit/anfragen"; }

anfragen_in_passfolge() {
  [ "$(anfragen)" = "$(printf 'GET /zeit.php\nGET /zeit.php\nGET /\nGET /zeit.php')" ] || fehler "requests: $(anfragen)"
}

# privaten_bus_starten: a dbus-daemon of the test's own, with its own config and socket, for the
# programs' system bus; sets $privater_bus, which ohne_uhrrecht hands them.
privaten_bus_starten() {
  rm -f "$arbeit/bus" "$arbeit/bus.adresse"
  cat > "$arbeit/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:path=$arbeit/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
EOF
  dbus-daemon --config-file="$arbeit/bus.conf" --nofork --nopidfile --print-address=9 9>"$arbeit/bus.adresse" \
    2>>"$arbeit/bus.log" &
  bus_dienste+=($!)
  warten_auf 20 test -s "$arbeit/bus.adresse" || fehler "the private bus did not start"
  privater_bus=$(head -n1 "$arbeit/bus.adresse")
}

hat_eigentuemer() {
  dbus-send --bus="$privater_bus" --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q 'boolean true'
}

# timedated_starten [true]: a timedated stand-in on the private bus that never answers a SetTime
# when asked to, which the real one cannot be made to do; each call lands in $arbeit/timedated as
# "<time> SetTime <usec> <relative> <interactive>". The real timedated: uhrkette_lib.sh.
timedated_starten() {
  # Never on the machine's own bus, where it could take timedated's name.
  [ -n "$privater_bus" ] || fehler "timedated_starten needs a private bus"
  DBUS_SYSTEM_BUS_ADDRESS=$privater_bus /usr/bin/python3 -m dbusmock --system -l "$arbeit/timedated" \
    --template "$(dirname "${BASH_SOURCE[0]}")/timedated_vorlage.py" -p "{\"Schweigen\": ${1:-false}}" >/dev/null &
  bus_dienste+=($!)
  warten_auf 20 hat_eigentuemer org.freedesktop.timedate1 || fehler "the timedated stand-in did not start"
}

bus_beenden() {
  local pid
  for pid in "${bus_dienste[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${bus_dienste[@]}"; do wait "$pid" 2>/dev/null || true; done
  bus_dienste=()
  privater_bus=
  rm -f "$arbeit/timedated"
}

# The local times the clock was set to, one per line.
geschrieben() { [ -f "$arbeit/uhr" ] && cut -d' ' -f3,4 "$arbeit/uhr" || true; }

# A virtual X display for the windows; sets DISPLAY.
anzeige_starten() {
  Xvfb -displayfd 9 -screen 0 800x600x24 -nolisten tcp 9>"$arbeit/anzeige" 2>/dev/null &
  anzeige_pid=$!
  warten_auf 20 test -s "$arbeit/anzeige" || fehler "Xvfb did not start"
  export DISPLAY=:$(cat "$arbeit/anzeige") NO_AT_BRIDGE=1
  xdotool getdisplaygeometry >/dev/null || fehler "no display at $DISPLAY"
}

# The visible window captioned Zudedaruzu, or nothing. xdotool ends with an X error (BadWindow) when
# a window it is looking at is destroyed during its search, as the helper windows of a program that
# starts or ends are, so an empty answer means only "not seen this time".
sichtbares_fenster() { xdotool search --onlyvisible --name '^Zudedaruzu$' 2>/dev/null | head -n1 || true; }

# Watches that no window is visible while Dadaviru's run works: until the run's eighth clock write,
# which the sourcing script counts with `schreibungen`. Visibility is read before the count, so a
# window seen while fewer than eight writes were made was visible during the run.
lauf_vorbei_ohne_fenster() {
  local sichtbar
  sichtbar=$(sichtbares_fenster)
  [ "$(schreibungen)" -lt 8 ] || return 0
  [ -z "$sichtbar" ] || fehler "Dadaviru showed its window during the run"
  return 1
}
kein_fenster_waehrend_des_laufs() {
  warten_auf 60 lauf_vorbei_ohne_fenster || fehler "the run did not reach its eighth clock write"
}

# Waits for the first request of the run of the program started as $programm_pid, whose start was
# read as $beginn (prozessbeginn); fails unless the service saw it Timer_start's interval
# ($DADAVIRU_WARTEZEIT_MS) or more after the process was created. Both times are the kernel's.
erste_anfrage_nach_der_wartezeit() {
  warten_auf 60 test -s "$arbeit/anfragen" || fehler "$1 sent no request"
  awk -v a="$(anfrage_seit_boot 1)" -v b="${beginn:?}" -v ms="${DADAVIRU_WARTEZEIT_MS:?}" \
    'BEGIN { exit !(a - b >= ms / 1000) }' || fehler "$1 asked $(anfrage_seit_boot 1) s after boot, started at $beginn s"
}

# Waits at most 20 s for the window of the program started as $programm_pid to be mapped; sets
# $fenster to it. Polled, not `xdotool search --sync`, which gives up at the first X error above.
fenster_abwarten() {
  warten_auf 20 fenster_gefunden && return 0
  kill -0 "$programm_pid" 2>/dev/null || fehler "no window captioned Zudedaruzu; the program had ended"
  fehler "no window captioned Zudedaruzu"
}
fenster_gefunden() {
  fenster=$(sichtbares_fenster)
  [ -n "$fenster" ]
}

# programm_starten CMD...: runs CMD in the background in $arbeit, where dadaviru.txt lies, through
# ohne_uhrrecht; sets $programm_pid to the program itself and $beginn to when its process was made.
programm_starten() {
  local vorsatz
  uhrrecht_vorsatz
  (cd "$arbeit" && exec "${vorsatz[@]}" "$@") &
  programm_pid=$!
  beginn=$(prozessbeginn "$programm_pid" 2>/dev/null) || beginn=
}

# endet_binnen NAME SECONDS: waits for the program started as $programm_pid to end by itself; its
# exit status must be 0.
endet_binnen() {
  local status=0
  if ! warten_auf "$2" eval '! kill -0 "$programm_pid"'; then
    kill -9 "$programm_pid" 2>/dev/null || true
    fehler "$1 did not end within $2 s"
  fi
  wait "$programm_pid" || status=$?
  [ "$status" -eq 0 ] || fehler "$1 exited with status $status"
}
