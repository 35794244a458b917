#!/usr/bin/env bash
# Dadaviru and the real time service across a path with 40 ms each way, as over the internet: two
# network namespaces of the test's own, joined by the delay line. The answer leaves early by half the
# round trip the service's kernel measured, so the clock lands on the second; without the lead it
# lands one way's delay behind, which shows the path really delays.
# Usage: strecke_test.sh DADAVIRU ZEITDIENST LIBUHRATTRAPPE VERZOEGERUNG
# SPDX-License-Identifier: MIT
set -euo pipefail
dadaviru=$1
export ZEITDIENST=$2 UHRATTRAPPE=$3
verzoegerung=$4
. "$(dirname "$0")/e2e_lib.sh"
# The program reads the answer in the machine's zone, so the service answers in it too.
unset TZ

netz=dv$$
leitung_pid=
vor_dem_aufraeumen() {
  if [ -n "$leitung_pid" ]; then kill "$leitung_pid" 2>/dev/null || true; wait "$leitung_pid" 2>/dev/null || true; fi
  ip netns del "$netz-a" 2>/dev/null || true
  ip netns del "$netz-b" 2>/dev/null || true
}
ip netns add "$netz-a"
ip netns add "$netz-b"
"$verzoegerung" "$netz-a" "$netz-b" --hin 40 --zurueck 40 --dauer 600 >"$arbeit/leitung" &
leitung_pid=$!
warten_auf 20 grep -q '^ready' "$arbeit/leitung" || fehler "the delay line did not start: $(cat "$arbeit/leitung")"

# im_netz NETZ CMD...: CMD inside the namespace, through the run helper.
im_netz() {
  local n=$1 vorsatz
  shift
  uhrrecht_vorsatz
  ip netns exec "$n" "${vorsatz[@]}" "$@"
}

# fehler_ms: one run of Dadaviru from the client's namespace, and its clock error in ms: the time it
# wrote minus the real time of that write, both as the interposer saw them.
fehler_ms() {
  rm -f "$arbeit/uhr"
  (cd "$arbeit" && im_netz "$netz-a" timeout 120 "$dadaviru")
  [ -s "$arbeit/uhr" ] || fehler "no clock write; requests: $(cat "$arbeit/anfragen" 2>/dev/null)"
  tail -n1 "$arbeit/uhr" | awk '{ printf "%.1f\n", ($2 - $5) * 1000 }'
}
median() { sort -n | sed -n 2p; }

# The service in the far namespace; its kernel measures the path.
# Started directly, not through im_netz, so that $! is the service's own chain and stops with it.
dienst_im_netz() {
  local vorsatz
  uhrrecht_vorsatz
  ip netns exec "$netz-b" "${vorsatz[@]}" timeout -k 5 300 "$ZEITDIENST" --bind 198.18.0.2 --port 0 \
    --log "$arbeit/anfragen" "$@" >"$arbeit/dienst" &
  dienste+=($!)
  warten_auf 20 grep -q ': listening on ' "$arbeit/dienst" || fehler "the service did not start: $(cat "$arbeit/dienst")"
  port=$(sed -n 's/^[a-z]*: listening on .*:\([0-9]*\)$/\1/p' "$arbeit/dienst")
  echo "http://198.18.0.2:$port/zeit.php" >"$arbeit/dadaviru.txt"
}

echo "without the lead the clock lands one way's delay behind"
dienst_im_netz --no-lead
ohne=$(fehler_ms)
awk -v f="$ohne" 'BEGIN { exit !(f < -25) }' || fehler "without the lead the clock landed $ohne ms off, not some 40 ms behind"
dienste_beenden

echo "with the lead it lands on the second"
dienst_im_netz
mit=$( (fehler_ms; fehler_ms; fehler_ms) | median)
awk -v f="$mit" 'BEGIN { exit !(f > -10 && f < 10) }' || fehler "with the lead the clock landed $mit ms off (median of three)"
echo "clock error without the lead $ohne ms, with it $mit ms"
