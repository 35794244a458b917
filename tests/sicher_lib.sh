# The one way every script and test runs a real program, so none can touch this machine's clock:
# without CAP_SYS_TIME, with the system bus pointed at a private one that the test started
# ($privater_bus) or at an address where nothing listens, and under the clock interposer when
# $UHRATTRAPPE names it (its log goes to $uhr_protokoll). Sourced, not run.
# SPDX-License-Identifier: MIT

kein_bus=unix:path=/nonexistent/dadaviru-kein-bus
ohne_zeitrecht=(setpriv --bounding-set=-sys_time --inh-caps=-sys_time --)

# ohne_uhrrecht CMD...
ohne_uhrrecht() {
  local attrappe=()
  # In a sanitizer build the interposer is loaded ahead of the sanitizer's runtime, which the
  # runtime would otherwise refuse.
  [ -z "${UHRATTRAPPE:-}" ] || attrappe=(LD_PRELOAD="$UHRATTRAPPE" UHRATTRAPPE_PROTOKOLL="${uhr_protokoll:-/dev/null}"
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0")
  "${ohne_zeitrecht[@]}" env DBUS_SYSTEM_BUS_ADDRESS="${privater_bus:-$kein_bus}" "${attrappe[@]}" "$@"
}

# The same as one line of words, for tools that take a command line of their own (hyperfine),
# without the interposer, which such a command names itself where it wants it.
ohne_uhrrecht_zeile() { echo "${ohne_zeitrecht[*]} env DBUS_SYSTEM_BUS_ADDRESS=${privater_bus:-$kein_bus}"; }

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
