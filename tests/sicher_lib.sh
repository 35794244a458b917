# What every test script shares: failing, polling, comparing, and the one way every script and test
# runs a real program, so none can touch this machine's clock: without CAP_SYS_TIME, with the system
# bus pointed at a private one that the test started ($privater_bus) or at an address where nothing
# listens, and under the clock interposer when $UHRATTRAPPE names it (its log goes to
# $uhr_protokoll). Sourced, not run.
# SPDX-License-Identifier: MIT

# fehler MESSAGE...: ends the script as failed. The message goes to the script's own error output,
# also from a command that warten_auf runs with its errors silenced.
exec {fehlerausgabe}>&2
fehler() { echo "FAIL: $*" >&"$fehlerausgabe"; exit 1; }

# erwarten DESCRIPTION EXPECTED ACTUAL: fails unless the two are the same.
erwarten() { [ "$2" = "$3" ] || fehler "$1: expected '$2', got '$3'"; }

# warten_auf SECONDS CMD...: polls CMD until it succeeds; false when SECONDS pass first.
warten_auf() {
  local ende=$((SECONDS + $1))
  shift
  until "$@" 2>/dev/null; do
    [ "$SECONDS" -lt "$ende" ] || return 1
    sleep 0.05
  done
}

ohne_uhrrecht_helfer=$(realpath "$(dirname "${BASH_SOURCE[0]}")/../tools/ohne_uhrrecht")

# uhrrecht_vorsatz: sets the array $vorsatz to the words that go before a program so that it runs
# through the project's run helper, as described above. For a program started in the background,
# `"${vorsatz[@]}" PROGRAM &` makes $! the program itself, so a signal to it reaches the program.
uhrrecht_vorsatz() {
  vorsatz=("$ohne_uhrrecht_helfer")
  [ -z "${privater_bus:-}" ] || vorsatz+=(--bus "$privater_bus")
  [ -z "${UHRATTRAPPE:-}" ] || vorsatz+=(--attrappe "$UHRATTRAPPE" --protokoll "${uhr_protokoll:-/dev/null}")
  vorsatz+=(--)
}

# ohne_uhrrecht CMD...
ohne_uhrrecht() {
  local vorsatz
  uhrrecht_vorsatz
  "${vorsatz[@]}" "$@"
}

# The same as one line of words, for tools that take a command line of their own (hyperfine),
# without the interposer, which such a command names itself where it wants it.
ohne_uhrrecht_zeile() {
  local vorsatz
  UHRATTRAPPE='' uhrrecht_vorsatz
  echo "${vorsatz[*]}"
}

# Whether this machine's kernel runs 32-bit programs, and with them 32-bit Wine.
kann_32_bit() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }

# wine_waehlen FOLDER: Wine for the programs of $DADAVIRU_WINEARCH (win32 unless it says win64).
# /usr/bin/wine takes the 32-bit loader whenever it is installed, even on a machine that cannot run
# 32-bit code; for win64, FOLDER puts the 64-bit loader first on PATH, for wineboot too.
wine_waehlen() {
  export WINEARCH=${DADAVIRU_WINEARCH:-win32}
  [ "$WINEARCH" = win64 ] || return 0
  mkdir -p "$1"
  local n
  for n in wine wine-stable; do
    printf '#!/bin/sh\nWINELOADER=/usr/lib/wine/wine64 exec /usr/lib/wine/wine64 "$@"\n' > "$1/$n"
    chmod +x "$1/$n"
  done
  export PATH="$1:$PATH"
}

# Process start and uptime in seconds since boot, as the kernel counts them (CLOCK_BOOTTIME), so the
# start of a process and what a service saw can be compared without any reading of our own.
# prozessbeginn PID: when the process was created.
prozessbeginn() {
  local stat felder
  stat=$(cat "/proc/$1/stat") || return 1
  read -r -a felder <<< "${stat##*) }"
  awk -v t="${felder[19]}" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.3f\n", t / hz }'
}
seit_boot() { cut -d' ' -f1 /proc/uptime; }
