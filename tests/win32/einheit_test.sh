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

. "$(dirname "$0")/../inet_dienste.sh"
inet_dienste_starten

cd "$arbeit"
LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 DADAVIRU_ORT=de-DE unter_wine 300 "$tests_exe" || fehler "unit tests (de_DE) exited with $?"
LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 DADAVIRU_ORT=en-US \
  unter_wine 120 "$tests_exe" --gtest_filter='Ortsuebliche.*:Umwandlung_Win32.*' \
  || fehler "locale tests (en_US) exited with $?"
