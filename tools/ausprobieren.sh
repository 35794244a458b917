#!/usr/bin/env bash
# Tries Dadaviru end to end, without a display: four time services on loopback, an override file
# naming the fourth, and the real program built with the loopback hosts. The right to set the clock
# is dropped and every clock write is caught by the clock interposer, so this machine's clock stays.
# SPDX-License-Identifier: MIT
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/einrichten.sh ausprobieren
cmake --preset linux >/dev/null
cmake --build --preset linux --target Dadaviru_loopback zeitdienst uhrattrappe >/dev/null

bau=build/linux
export ZEITDIENST=$PWD/$bau/zeitdienst/zeitdienst UHRATTRAPPE=$PWD/$bau/tests/werkzeuge/libuhrattrappe.so
. tools/umgebung.sh
# The program reads the answers in this machine's zone, so the services answer in it too.
unset TZ
zone=$(readlink -f /etc/localtime)
zone=${zone#/usr/share/zoneinfo/}

# The built-in services of this build are the loopback ones of the tests.
hosts=$(sed -n 's/^DADAVIRU_TEST_HOST_[ABC]:STRING=//p' "$bau/CMakeCache.txt")
for host in $hosts; do dienst_starten "${host%:*}" "${host##*:}"; done
dienst_starten 127.0.0.4 0
echo "http://127.0.0.4:$port/zeit.php" > "$arbeit/dadaviru.txt"

programm=$PWD/$bau/app/loopback/Dadaviru
(cd "$arbeit" && unset DISPLAY WAYLAND_DISPLAY && ohne_uhrrecht timeout 300 "$programm")
mapfile -t schreibungen < <(geschrieben)
if [ ${#schreibungen[@]} -gt 0 ]; then
  gesetzt="the clock would have been set ${#schreibungen[@]} times, last to ${schreibungen[-1]} ($zone)"
else
  gesetzt="the clock would not have been set"
fi
echo "$(anfragen | wc -l) time services answered; $gesetzt; this machine's clock was not touched"
