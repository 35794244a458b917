# What the benchmarks and the try command start around the real programs: time services on
# loopback, a private system bus and a virtual X display, all through the run helper, in a work folder
# that goes, with everything started, when the script ends. Sourced, not run. Expects ZEITDIENST, the
# time service that dienst_starten starts.
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
. "$(dirname "${BASH_SOURCE[0]}")/sicher.sh"

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

# The requests so far, "METHOD path" each (without the query), read from the service's log.
anfragen() { sed -n 's/^[^"]*"\([^ ]*\) \([^ ?]*\)[^ ]* [^"]*".*/\1 \2/p' "$arbeit/anfragen" 2>/dev/null || true; }

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
  # -noreset: a program connecting while the server resets after its last client left is turned away.
  Xvfb -displayfd 9 -screen 0 800x600x24 -nolisten tcp -noreset 9>"$arbeit/anzeige" 2>/dev/null &
  anzeige_pid=$!
  warten_auf 20 test -s "$arbeit/anzeige" || fehler "Xvfb did not start"
  export DISPLAY=:$(cat "$arbeit/anzeige") NO_AT_BRIDGE=1
  xdotool getdisplaygeometry >/dev/null || fehler "no display at $DISPLAY"
}
