#!/usr/bin/env bash
# The Linux HTTP client's tests, against the tests' time services on loopback.
# Arguments: inet_tests pruefdienst
# SPDX-License-Identifier: MIT
set -euo pipefail
tests=$1
export ZEITDIENST=$2
. "$(dirname "$0")/e2e_lib.sh"
. "$(dirname "$0")/inet_dienste.sh"

inet_dienste_starten
ohne_uhrrecht "$tests"
