#!/usr/bin/env bash
# The unit tests of the Windows build under Wine: all of them in a German locale, on a virtual
# display and with the time services the HTTP client's tests name; then the locale tests once
# more in American English. Wine takes the user's locale from LANG when a process starts.
# Arguments: wineprefix dadaviru_tests.exe linux-tools-folder
# SPDX-License-Identifier: MIT
set -euo pipefail
export WINEPREFIX=$1
tests_exe=$(realpath "$2")
ZEITDIENST=$3/pruefdienst
. "$(dirname "$0")/wine_lib.sh"

anzeige_starten

liste=""
# benannt NAME [pruefdienst options...]: a service on 127.0.0.1, named to the tests; sets $port.
benannt() {
  local name=$1
  shift
  dienst_starten 127.0.0.1 0 "$@"
  liste+="$name=$port "
}
benannt normal
benannt fehler500 --status 500 --body "2026-12-07 13:45:09"
benannt ziel --body "2026-12-07 13:45:09"
benannt umleitung --redirect "http://127.0.0.1:$port/zeit.php"
benannt zur_datei --redirect "file:///etc/hostname"
benannt kreis --redirect "/zeit.php"
# A chain of redirects, each to the one before: kette5 takes five hops to "ok", kette6 six.
benannt kette0 --body "ok"
for i in 1 2 3 4 5 6; do benannt "kette$i" --redirect "http://127.0.0.1:$port/zeit.php"; done
benannt tropfen --drip 100
benannt langsam --delay 6000
benannt stockend --drip 30000
benannt riesig --huge 100
benannt zu_lang --body "$(head -c 65537 /dev/zero | tr '\0' x)"
benannt gerade_noch --body "$(head -c 65536 /dev/zero | tr '\0' x)"

cd "$arbeit"
LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 DADAVIRU_ORT=de-DE DADAVIRU_ZEITDIENSTE="$liste" \
  unter_wine 300 "$tests_exe" || fehler "unit tests (de_DE) exited with $?"
LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 DADAVIRU_ORT=en-US \
  unter_wine 120 "$tests_exe" --gtest_filter='Ortsuebliche.*:Umwandlung_Win32.*' \
  || fehler "locale tests (en_US) exited with $?"
