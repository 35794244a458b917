# What the project's scripts (the suite, the packages, the benchmarks, the try command) share:
# failing, polling, and the run helper tools/ohne_uhrrecht with the words it takes, so no program
# they start can touch this machine's clock: the system bus is a private one the script started
# ($privater_bus) or nothing, and the clock interposer is loaded when $UHRATTRAPPE names it (its log
# goes to $uhr_protokoll). The tests have the same in Python (tests/e2e/sicher.py). Sourced, not run.
# SPDX-License-Identifier: MIT

# fehler MESSAGE...: ends the script as failed. The message goes to the script's own error output,
# also from a command that warten_auf runs with its errors silenced.
exec {fehlerausgabe}>&2
fehler() { echo "FAIL: $*" >&"$fehlerausgabe"; exit 1; }

# warten_auf SECONDS CMD...: polls CMD until it succeeds; false when SECONDS pass first.
warten_auf() {
  local ende=$((SECONDS + $1))
  shift
  until "$@" 2>/dev/null; do
    [ "$SECONDS" -lt "$ende" ] || return 1
    sleep 0.05
  done
}

ohne_uhrrecht_helfer=$(realpath "$(dirname "${BASH_SOURCE[0]}")/ohne_uhrrecht")

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
