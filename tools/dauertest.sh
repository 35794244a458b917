#!/usr/bin/env bash
# Runs the Linux and the Windows test suites N times over while stress-ng keeps both cores busy, and
# names every test that failed, with its run. A test that fails here fails someone's CI run one day.
# Not part of CI; run it before closing an issue. Usage: tools/dauertest.sh [N] (default 20). The
# package tests (label pakete) are left out: they test what tools/pakete.sh built, not the builds here.
# The logs of failed runs stay in build/dauertest/.
# SPDX-License-Identifier: MIT
set -euo pipefail
cd "$(dirname "$0")/.."
runden=${1:-20}

bash tools/einrichten.sh dauertest
export no_proxy="${no_proxy:+$no_proxy,}127.0.0.0/8,localhost" NO_PROXY="${NO_PROXY:+$NO_PROXY,}127.0.0.0/8,localhost"
. tools/sicher.sh

# The Windows tests use the test tools of the Linux build; where no 32-bit Wine runs, the same code
# is tested as a 64-bit build.
windows=windows64
kann_32_bit && windows=windows
for preset in linux "$windows"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
done

protokolle=build/dauertest
rm -rf "$protokolle"
mkdir -p "$protokolle"
stress-ng --cpu 2 --quiet &
last=$!
trap 'kill "$last" 2>/dev/null || true; wait "$last" 2>/dev/null || true' EXIT

fehlschlaege=0
beginn=$SECONDS
for ((runde = 1; runde <= runden; runde++)); do
  for preset in linux "$windows"; do
    protokoll=$protokolle/$runde.$preset.log
    ergebnis=$PWD/$protokolle/$runde.$preset.xml
    if ohne_uhrrecht ctest --preset "$preset" -j2 -LE pakete --output-on-failure --output-junit "$ergebnis" >"$protokoll" 2>&1; then
      rm -f "$protokoll" "$ergebnis"
      continue
    fi
    # The failed tests as ctest itself reports them, in its JUnit file; without one, ctest failed
    # before any test ran, and that counts too.
    mapfile -t gescheitert < <(/usr/bin/python3 -c '
import sys, xml.etree.ElementTree as et
for fall in et.parse(sys.argv[1]).iter("testcase"):
    if fall.get("status") == "fail" or fall.find("failure") is not None:
        print(fall.get("name"))' "$ergebnis" 2>/dev/null || echo "ctest itself (see $protokoll)")
    [ ${#gescheitert[@]} -gt 0 ] || gescheitert=("ctest itself (see $protokoll)")
    for name in "${gescheitert[@]}"; do
      echo "run $runde, $preset: $name"
      fehlschlaege=$((fehlschlaege + 1))
    done
  done
  echo "dauertest: $runde of $runden runs done, $fehlschlaege failures, $(((SECONDS - beginn) / 60)) min" >&2
done
[ "$fehlschlaege" -eq 0 ] || { echo "dauertest: $fehlschlaege failures; logs in $protokolle" >&2; exit 1; }
echo "dauertest: $runden runs of linux and $windows under load, no failure"
