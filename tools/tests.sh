#!/usr/bin/env bash
# The whole test suite: the Linux build with its unit and end-to-end tests, the same under
# AddressSanitizer and UndefinedBehaviorSanitizer, and a short run of each fuzzer.
# Everything runs without CAP_SYS_TIME, so nothing here can set this machine's clock.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/einrichten.sh

ohne_uhrrecht() { setpriv --bounding-set=-sys_time --inh-caps=-sys_time -- "$@"; }
fuzz_sekunden=${DADAVIRU_FUZZ_SEKUNDEN:-30}

for preset in linux asan; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ohne_uhrrecht ctest --preset "$preset" -j2
done

echo "== fuzz (${fuzz_sekunden} s each)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target feld_fuzz antwort_fuzz
for ziel in feld antwort; do
  korpus=build/fuzz/korpus/$ziel
  mkdir -p "$korpus"
  ohne_uhrrecht "build/fuzz/tests/fuzz/${ziel}_fuzz" -max_total_time="$fuzz_sekunden" -print_final_stats=0 \
    "$korpus" 2>&1 | tail -n 1
done
echo "all tests passed"
