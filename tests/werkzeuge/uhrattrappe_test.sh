#!/usr/bin/env bash
# Runs uhrattrappe_probe under the clock interposer and checks the log of clock writes line for line.
# Usage: uhrattrappe_test.sh LIBUHRATTRAPPE PROBE
# SPDX-License-Identifier: MIT
set -euo pipefail

bibliothek=$1
probe=$2
arbeit=$(mktemp -d)
trap 'rm -rf "$arbeit"' EXIT
# In a sanitizer build the interposer is loaded ahead of the sanitizer's runtime.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"

# The probe writes the clock: it must never hold CAP_SYS_TIME, even if the interposer failed to load.
UHRATTRAPPE=
. "$(dirname "$0")/../sicher_lib.sh"

echo "with start time, log and TZ=Europe/Berlin"
ohne_uhrrecht env LD_PRELOAD="$bibliothek" UHRATTRAPPE_PROTOKOLL="$arbeit/uhr.log" \
  TZ=Europe/Berlin UHRATTRAPPE_START=1000000000 "$probe"

# Winter and summer time, nanoseconds zero-padded, settimeofday's microseconds as nanoseconds.
cat >"$arbeit/erwartet" <<'EOF'
clock_settime 1796644800.000000000 2026-12-07 13:00:00
clock_settime 1782900000.000005000 2026-07-01 12:00:00
settimeofday 1784455200.250000000 2026-07-19 12:00:00
EOF
if ! diff -u "$arbeit/erwartet" <(cut -d' ' -f1-4 "$arbeit/uhr.log"); then
  echo "FAIL: log differs from the expected lines" >&2
  exit 1
fi
# Beside each value, the real time of the write.
awk -v jetzt="$(date +%s)" '$5 < jetzt - 60 || $5 > jetzt + 1 { exit 1 }' "$arbeit/uhr.log" ||
  { echo "FAIL: real times in the log: $(cut -d' ' -f5 "$arbeit/uhr.log" | paste -sd' ')" >&2; exit 1; }

echo "a shared clock: what one process writes, the next one reads"
ohne_uhrrecht env LD_PRELOAD="$bibliothek" UHRATTRAPPE_GEMEINSAM="$arbeit/uhr.geteilt" "$probe"
gelesen=$(ohne_uhrrecht env LD_PRELOAD="$bibliothek" UHRATTRAPPE_GEMEINSAM="$arbeit/uhr.geteilt" date -u +%F)
[ "$gelesen" = 2026-07-19 ] || { echo "FAIL: the second process read $gelesen from the shared clock" >&2; exit 1; }
[ "$(ohne_uhrrecht env LD_PRELOAD="$bibliothek" date -u +%F)" = "$(date -u +%F)" ] \
  || { echo "FAIL: a process without the shared clock did not read real time" >&2; exit 1; }
# Each line names the program that wrote.
[ "$(cut -d' ' -f6 "$arbeit/uhr.log" | sort -u)" = "$(basename "$probe")" ] \
  || { echo "FAIL: writer in the log: $(cut -d' ' -f6 "$arbeit/uhr.log" | sort -u)" >&2; exit 1; }

echo "without start time and without log"
ohne_uhrrecht env -u UHRATTRAPPE_START -u UHRATTRAPPE_PROTOKOLL LD_PRELOAD="$bibliothek" "$probe"

# bash reads the wall clock for $EPOCHSECONDS, so a bash under the interposer shows the step itself;
# it waits for the step to be seen, not for any time.
echo "a step of a running program's clock, back and forth"
sprung=$arbeit/sprung
ohne_uhrrecht env LD_PRELOAD="$bibliothek" UHRATTRAPPE_SPRUNG="$sprung" bash -c '
  . "$1"
  sprung=$2
  schreiten() { echo "$1" > "$sprung.neu" && mv "$sprung.neu" "$sprung"; }
  vorher=$EPOCHSECONDS
  schreiten -3600
  warten_auf 20 eval "[ \$EPOCHSECONDS -le $((vorher - 3500)) ]" || fehler "the step back was not seen"
  schreiten 0
  warten_auf 20 eval "[ \$EPOCHSECONDS -ge $vorher ]" || fehler "the step forward was not seen"
  schreiten 7200
  warten_auf 20 eval "[ \$EPOCHSECONDS -ge $((vorher + 7100)) ]" || fehler "the second step forward was not seen"
  rm "$sprung"
  warten_auf 20 eval "[ \$EPOCHSECONDS -lt $((vorher + 3600)) ]" || fehler "a removed file left its step"
' _ "$(dirname "$0")/../sicher_lib.sh" "$sprung"
echo "ok"
