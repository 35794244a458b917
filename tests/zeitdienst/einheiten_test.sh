#!/usr/bin/env bash
# The time service's systemd units, as systemd itself judges them without loading them: free of
# errors and warnings, and the service exposed no more than it must be (systemd's own scale, 0 to 10).
# Usage: einheiten_test.sh UNIT-FOLDER (units whose ExecStart names the built program)
# SPDX-License-Identifier: MIT
set -euo pipefail
einheiten=$1
. "$(dirname "$0")/../sicher_lib.sh"
hoechstens=1.0

bemerkungen=$(timeout 60 systemd-analyze verify "$einheiten/zeitdienst.socket" "$einheiten/zeitdienst.service" 2>&1) ||
  fehler "systemd-analyze verify: $bemerkungen"
[ -z "$bemerkungen" ] || fehler "systemd-analyze verify has remarks: $bemerkungen"

stufe=$(timeout 60 systemd-analyze security --offline=yes "$einheiten/zeitdienst.service" 2>&1 |
  sed -n 's/^→ Overall exposure level for zeitdienst\.service: \([0-9.]*\) .*/\1/p')
[ -n "$stufe" ] || fehler "systemd-analyze security gave no exposure level"
awk -v s="$stufe" -v h="$hoechstens" 'BEGIN { exit !(s <= h) }' || fehler "exposure level $stufe, more than $hoechstens"
echo "ok: verify clean, exposure level $stufe"
