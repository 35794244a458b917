# The real chain that sets the clock on Linux, for the benchmark of the time service: the real
# polkitd reading only our rule and the real systemd-timedated, both on the script's private bus,
# without CAP_SYS_TIME, timedated under the clock interposer; one virtual clock that the chain and the
# programs share; throw-away users in the group dadaviru and outside it. Needs root. Sourced after
# tools/umgebung.sh, not run. The tests have the same in Python (tests/e2e/uhrkette.py).
# SPDX-License-Identifier: MIT

# "${namensraum[@]}" QUELLE=ZIEL... -- CMD...: CMD in a private mount namespace in which each ZIEL
# shows QUELLE. A command line, not a function, so that ohne_uhrrecht can run it.
namensraum=(unshare --mount --propagation private sh -c
  'while [ "$1" != -- ]; do mount --bind "${1%%=*}" "${1#*=}" || exit 125; shift; done; shift; exec "$@"' sh)

# The group dadaviru is the machine's, and other tests add and remove it too: who holds this lock
# may rely on it. Held until the shell that takes it ends.
gruppe_sperren() {
  exec 8>/run/lock/dadaviru-gruppe.lock
  flock 8
}

# nutzer_anlegen: the users $mitglied (in the group dadaviru) and $fremder (not), and the command
# lines $als_mitglied and $als_fremder that run a command as them. Their names carry this shell's
# PID; both go when the test ends, and so does the group if the test made it. Users a killed test
# left behind go at the next start.
nutzer_praefix=dvtest-
nutzer_anlegen() {
  [ "$(id -u)" = 0 ] || fehler "throw-away users need root"
  local name pid
  for name in $(getent passwd | cut -d: -f1 | grep "^${nutzer_praefix}[mf][0-9]*$" || true); do
    pid=${name#"$nutzer_praefix"?}
    kill -0 "$pid" 2>/dev/null || userdel "$name" 2>/dev/null || true
  done
  gruppe_sperren
  if ! getent group dadaviru >/dev/null; then
    groupadd --system dadaviru
    gruppe_angelegt=1
  fi
  mitglied=${nutzer_praefix}m$$ fremder=${nutzer_praefix}f$$
  useradd --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin --groups dadaviru "$mitglied"
  nutzer+=("$mitglied")
  useradd --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$fremder"
  nutzer+=("$fremder")
  als_mitglied=(setpriv --reuid="$mitglied" --regid="$mitglied" --init-groups --)
  als_fremder=(setpriv --reuid="$fremder" --regid="$fremder" --init-groups --)
  # The users reach the bus, the clock and its log, and the folder the programs run in.
  chmod 755 "$arbeit"
}
nutzer=()
gruppe_angelegt=
nutzer_entfernen() {
  local name
  for name in "${nutzer[@]}"; do userdel "$name" 2>/dev/null || true; done
  nutzer=()
  if [ -n "$gruppe_angelegt" ]; then groupdel dadaviru 2>/dev/null || true; fi
  gruppe_angelegt=
}
vor_dem_aufraeumen() { nutzer_entfernen; }
# A test stopped by a signal still removes its users on the way out.
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# im_hintergrund CMD...: CMD as ohne_uhrrecht runs it, in the background, kept among the bus's
# services, which end with the bus; sets $hintergrund_pid to its process.
im_hintergrund() {
  local vorsatz
  uhrrecht_vorsatz
  "${vorsatz[@]}" "$@" &
  hintergrund_pid=$!
  bus_dienste+=("$hintergrund_pid")
}

# gemeinsame_uhr: one virtual clock for the chain and the programs, as they share the real one, at
# real time; every user may write it and its log, as every process may try to set the real clock.
gemeinsame_uhr() {
  export UHRATTRAPPE_GEMEINSAM=$arbeit/uhr.geteilt
  head -c 8 /dev/zero >"$UHRATTRAPPE_GEMEINSAM"
  : >"$uhr_protokoll"
  chmod 666 "$UHRATTRAPPE_GEMEINSAM" "$uhr_protokoll"
}

# uhr_zuruecksetzen: the shared clock back at real time, and its log empty. Written in place: the
# processes that share the clock have it mapped, and a file cut short under them would kill them.
uhr_zuruecksetzen() {
  dd if=/dev/zero of="$UHRATTRAPPE_GEMEINSAM" bs=8 count=1 conv=notrunc status=none
  : >"$uhr_protokoll"
}

# Each write through timedated, as the interposer logged it in timedated's process.
durch_timedated() { awk '$6 == "systemd-timedated"' "$uhr_protokoll"; }

# polkit_starten RULE: the real polkitd on the private bus, in a mount namespace of its own where
# /etc/polkit-1/rules.d holds only RULE and /usr/share/polkit-1/rules.d nothing.
polkit_starten() {
  [ -n "$privater_bus" ] || fehler "polkit_starten needs a private bus"
  mkdir -p "$arbeit/polkit/regeln" "$arbeit/polkit/leer"
  cp "$1" "$arbeit/polkit/regeln/50-dadaviru.rules"
  chmod -R a+rX "$arbeit/polkit"
  # polkitd sets no clock, so it runs without the interposer, which a sanitizer build's would crash.
  UHRATTRAPPE='' im_hintergrund "${namensraum[@]}" "$arbeit/polkit/regeln=/etc/polkit-1/rules.d" \
    "$arbeit/polkit/leer=/usr/share/polkit-1/rules.d" -- /usr/lib/polkit-1/polkitd --no-debug \
    >>"$arbeit/polkit.log" 2>&1
  warten_auf 20 hat_eigentuemer org.freedesktop.PolicyKit1 || fehler "polkitd did not start: $(cat "$arbeit/polkit.log")"
}

# timedated_echt_starten [NTP-UNITS]: the real systemd-timedated on the private bus, in the
# machine's zone, asking systemd about the NTP units named (about none without). It sets the clock
# only through the interposer; it has no CAP_SYS_TIME, so neither the clock nor an RTC is in reach
# even without it (the kernel wants CAP_SYS_TIME for RTC_SET_TIME too).
timedated_echt_starten() {
  [ -n "$privater_bus" ] || fehler "timedated_echt_starten needs a private bus"
  im_hintergrund env -u TZ SYSTEMD_TIMEDATED_NTP_SERVICES="${1:-}" /lib/systemd/systemd-timedated \
    >>"$arbeit/timedated.log" 2>&1
  timedated_pid=$hintergrund_pid
  warten_auf 20 hat_eigentuemer org.freedesktop.timedate1 || fehler "timedated did not start: $(cat "$arbeit/timedated.log")"
}
