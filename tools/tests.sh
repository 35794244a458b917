#!/usr/bin/env bash
# The whole test suite: the Linux build with its unit and end-to-end tests, the Debian packages and
# the Windows installer, the Windows build with its unit and end-to-end tests and the installer
# under Wine, the Linux build again under AddressSanitizer and UndefinedBehaviorSanitizer, and a
# short run of each fuzzer.
# Everything runs without CAP_SYS_TIME and away from the machine's system bus, so nothing here can
# set this machine's clock.
# SPDX-License-Identifier: MIT
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/einrichten.sh tests

# Tests talk to loopback only, never through a proxy the environment may name.
export no_proxy="${no_proxy:+$no_proxy,}127.0.0.0/8,localhost" NO_PROXY="${NO_PROXY:+$NO_PROXY,}127.0.0.0/8,localhost"

# Everything below runs without CAP_SYS_TIME and with the system bus pointed at nothing.
. tools/sicher.sh
fuzz_sekunden=${DADAVIRU_FUZZ_SEKUNDEN:-30}

# Guard rails before any build: one code style, the synchronisation run never reaching into the
# window's code, and the time service into neither.
leitplanken() {
  echo "== style and include boundary"
  git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
  if grep -rnE '#include +"(\.\./)*app/' sync; then
    echo "FAIL: sync/ includes from app/" >&2
    return 1
  fi
  # The helper may hold CAP_SYS_TIME, so it takes nothing of the programs' shell.
  if grep -rnE '#include +"(\.\./)*app/' uhrsteller; then
    echo "FAIL: uhrsteller/ includes from app/" >&2
    return 1
  fi
  # The time service is built alone too, so it takes nothing from the programs.
  if grep -rnE '#include +"(\.\./)*(app|sync)/' zeitdienst; then
    echo "FAIL: zeitdienst/ includes from the programs" >&2
    return 1
  fi
}

bauen_und_pruefen() {
  echo "== $1"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
  # The packages' tests come after the packages and the Windows build (pakete_pruefen).
  ohne_uhrrecht ctest --preset "$1" -j2 -LE pakete
}

fuzzen() {
  echo "== fuzz (${fuzz_sekunden} s each)"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz --target feld_fuzz antwort_fuzz
  local ziel korpus
  for ziel in feld antwort; do
    korpus=build/fuzz/korpus/$ziel
    mkdir -p "$korpus"
    ohne_uhrrecht "build/fuzz/tests/fuzz/${ziel}_fuzz" -max_total_time="$fuzz_sekunden" -print_final_stats=0 \
      "$korpus" 2>&1 | tail -n 1
  done
}

# The packages, built as a publisher builds them, and signed with a throw-away certificate so that
# the signing is tested too.
zertifikat=build/pakete/testzertifikat
pakete() {
  echo "== packages"
  mkdir -p "$zertifikat"
  [ -s "$zertifikat/zertifikat.pem" ] || openssl req -x509 -newkey rsa:2048 -nodes -days 3650 \
    -subj "/CN=Dadaviru test signing" -addext extendedKeyUsage=codeSigning \
    -keyout "$zertifikat/schluessel.pem" -out "$zertifikat/zertifikat.pem" 2>/dev/null
  DADAVIRU_ZERTIFIKAT=$PWD/$zertifikat/zertifikat.pem DADAVIRU_SCHLUESSEL=$PWD/$zertifikat/schluessel.pem \
    bash tools/pakete.sh
}

# After linux: the tests under Wine use its time service and window probe; after it, the installer
# is tested with the packages (pakete_pruefen). The shipped programs are 32-bit; on a machine whose kernel cannot
# run 32-bit code (no Wine for them), the same code is tested as a 64-bit build under 64-bit Wine,
# and the 32-bit build is only built.
windows() {
  echo "== windows (mingw-w64, under Wine)"
  cmake --preset windows >/dev/null
  cmake --build --preset windows
  if kann_32_bit; then
    ohne_uhrrecht ctest --preset windows -j2
  else
    echo "== windows64: this machine cannot run 32-bit programs; testing the 64-bit build under 64-bit Wine"
    cmake --preset windows64 >/dev/null
    cmake --build --preset windows64
    ohne_uhrrecht ctest --preset windows64 -j2
  fi
}

# The Debian packages and the installer under Wine, from the linux build's tests; the installer test
# knows itself which Wine this machine can run, and takes the 64-bit programs where that is 64-bit Wine.
pakete_pruefen() {
  echo "== packages and installer"
  ohne_uhrrecht ctest --preset linux -L pakete
}

leitplanken
bauen_und_pruefen linux
pakete
windows
pakete_pruefen
fuzzen
bauen_und_pruefen asan
