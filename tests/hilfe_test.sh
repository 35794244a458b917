#!/usr/bin/env bash
# --help, -h and --version answer and end without a synchronisation: with every built-in service
# listening and the real timedated on a private bus (which lets root set the clock without asking
# polkit), no request may arrive, and the interposer may see no clock write, by timedated or any other.
# Arguments: Dadaviru Dadaviru_Autostart zeitdienst libuhrattrappe.so host-a host-b host-c version
# SPDX-License-Identifier: MIT
set -euo pipefail
dadaviru=$1 autostart=$2
export ZEITDIENST=$3 UHRATTRAPPE=$4
host_a=$5 host_b=$6 host_c=$7 version=$8
. "$(dirname "$0")/e2e_lib.sh"
. "$(dirname "$0")/uhrkette_lib.sh"
unset DISPLAY WAYLAND_DISPLAY

alle_starten 0
gemeinsame_uhr
privaten_bus_starten
timedated_echt_starten
setzen() { durch_timedated | wc -l; }

# program | arguments | a line the answer must hold
while IFS='|' read -r name argumente erwartet; do
    programm=$dadaviru
    [ "$name" = Dadaviru_Autostart ] && programm=$autostart
    # shellcheck disable=SC2086 # the arguments are split on purpose
    antwort=$(cd "$arbeit" && ohne_uhrrecht timeout 10 "$programm" $argumente) || fehler "$name $argumente exited with $?"
    grep -qxF -- "$erwartet" <<< "$antwort" || fehler "$name $argumente: no line '$erwartet' in: $antwort"
done << EOF
Dadaviru|--help|  http://$host_a/zeit.php
Dadaviru|-h|  http://$host_c
Dadaviru|--version|Dadaviru $version
Dadaviru|egal --version --help|Dadaviru $version
Dadaviru_Autostart|--help|Usage: Dadaviru_Autostart [--help | --version]
Dadaviru_Autostart|--version|Dadaviru_Autostart $version
EOF

[ ! -s "$arbeit/anfragen" ] || fehler "a time service was asked: $(cat "$arbeit/anfragen")"
[ -z "$(geschrieben)" ] || fehler "the clock was written: $(cat "$uhr_protokoll")"

# Any other argument is still ignored: the run happens as without one.
(cd "$arbeit" && ohne_uhrrecht timeout 60 "$dadaviru" --unbekannt) || fehler "run with an unknown argument exited with $?"
[ "$(wc -l < "$arbeit/anfragen")" -eq 4 ] && [ "$(setzen)" -eq 8 ] \
  || fehler "an unknown argument: requests $(cat "$arbeit/anfragen"), clock $(cat "$uhr_protokoll")"
echo "ok: --help, -h and --version answer without a synchronisation"
