#!/usr/bin/env bash
# End to end through the real chain: Dadaviru, run as a member of the group dadaviru and as a user
# outside it, asks the real systemd-timedated on a private bus, which asks the real polkitd, which
# reads only our rule. The member's writes arrive, to the second the answers name; the other
# user's do not, nor do the member's while an NTP unit is active; nothing goes round timedated, and
# every run ends by itself. Needs root: for the users, the mount namespace and polkitd.
# Arguments: Dadaviru zeitdienst libuhrattrappe.so 50-dadaviru.rules host-a host-b host-c
# (the program built with the loopback hosts)
# SPDX-License-Identifier: MIT
set -euo pipefail
dadaviru=$1
export ZEITDIENST=$2 UHRATTRAPPE=$3
regel=$4 host_a=$5 host_b=$6 host_c=$7
. "$(dirname "$0")/e2e_lib.sh"
. "$(dirname "$0")/uhrkette_lib.sh"
unset DISPLAY WAYLAND_DISPLAY

nutzer_anlegen
alle_starten 0
gemeinsame_uhr
privaten_bus_starten
polkit_starten "$regel"
timedated_echt_starten

# lauf NAME COMMAND-PREFIX...: one run of Dadaviru as that user, on a clock at real time; it must end
# by itself, successfully, after asking all four services.
lauf() {
  local name=$1
  shift
  uhr_zuruecksetzen
  : >"$arbeit/anfragen"
  (cd "$arbeit" && ohne_uhrrecht "$@" timeout 60 "$dadaviru") || fehler "the run as $name exited with $?"
  anfragen_in_passfolge
}

# The member: eight writes through timedated in pass order, each time of day the one its answer
# names, and none by anyone else.
lauf member "${als_mitglied[@]}"
mapfile -t w < <(durch_timedated | cut -d' ' -f3,4)
[ ${#w[@]} -eq 8 ] || fehler "expected 8 writes through timedated, got: $(cat "$uhr_protokoll")"
for i in 0 1 2 3; do
  n=$((i + 1))
  [[ ${w[2*i]} == 200$n-0$n-0$n\ * ]] || fehler "date write $i: ${w[2*i]}"
  [ "${w[2*i+1]}" = "200$n-0$n-0$n 0$n:0$n:0$n" ] || fehler "time write $i: ${w[2*i+1]}"
done
[ "$(wc -l <"$uhr_protokoll")" -eq 8 ] || fehler "writes beside timedated: $(cat "$uhr_protokoll")"
echo "ok: a member's eight writes arrive through timedated and polkit"

# Not a member: polkit wants a password that a non-interactive call cannot give, and nothing is
# written, neither by timedated nor past it.
lauf non-member "${als_fremder[@]}"
[ ! -s "$uhr_protokoll" ] || fehler "a non-member's run wrote: $(cat "$uhr_protokoll")"
echo "ok: a non-member writes nothing"

# A member while an NTP unit is active: timedated refuses, and again nothing goes round it.
timedated_beenden
systemd_starten
timedated_echt_starten systemd-timesyncd.service
lauf "member, with NTP on" "${als_mitglied[@]}"
[ ! -s "$uhr_protokoll" ] || fehler "with NTP on, the clock was written: $(cat "$uhr_protokoll")"
grep -q 'GetAll /org/freedesktop/systemd1/unit/systemd_2dtimesyncd_2eservice' "$arbeit/systemd1" \
  || fehler "timedated did not ask about the NTP unit: $(cat "$arbeit/systemd1")"
echo "ok: with NTP on, timedated refuses a member and nothing goes round it"
