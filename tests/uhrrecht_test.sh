#!/usr/bin/env bash
# The build with the file capability, installed for real (as root) into a temporary prefix: only
# the helper uhrsteller carries a capability, and no process that runs GTK ever holds one. A
# member of the group dadaviru runs the installed Dadaviru on Xvfb with a harmless module in
# GTK_MODULES, which GTK loads from the environment and which records the capability sets of its
# process. So that this machine's clock stays out of reach, the capability the install gave is
# swapped for a stand-in (cap_net_bind_service) before anything runs.
# Arguments: the build folder, the probe module (libkappenprobe.so)
# SPDX-License-Identifier: MIT
set -euo pipefail
bau=$1 probe=$2
. "$(dirname "$0")/e2e_lib.sh"
. "$(dirname "$0")/uhrkette_lib.sh"

nutzer_anlegen
echt=$arbeit/echt
praefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$bau/CMakeCache.txt")
cmake -DCMAKE_INSTALL_PREFIX="$echt" -DCMAKE_INSTALL_COMPONENT=Programme -DDADAVIRU_FILE_CAPABILITY=ON \
  -P "$bau/cmake_install.cmake" >"$arbeit/installation.log" 2>&1 || fehler "install failed: $(cat "$arbeit/installation.log")"
chmod 755 "$echt"

# Exactly one file with a capability, the helper; only the group may run it.
uhrsteller=$(find "$echt" -name uhrsteller -type f)
[ "$(getcap -r "$echt")" = "$uhrsteller cap_sys_time=p" ] || fehler "capabilities: $(getcap -r "$echt")"
[ "$(stat -c '%a %U %G' "$uhrsteller")" = "750 root dadaviru" ] || fehler "helper: $(stat -c '%a %U %G' "$uhrsteller")"
for p in Dadaviru Dadaviru_Autostart; do
  [ "$(stat -c '%a %U' "$echt/bin/$p")" = "755 root" ] || fehler "$p: $(stat -c '%a %U' "$echt/bin/$p")"
done
echo "ok: only the helper carries the capability, for the group dadaviru"

getcap -r "$echt" | while read -r datei _; do setcap cap_net_bind_service=p "$datei"; done
[ -z "$(getcap -r "$echt" | grep cap_sys_time)" ] || fehler "the stand-in did not replace cap_sys_time"

# The installed program as installed: in a mount namespace where the install prefix it was built
# for shows the temporary one, so it finds its window module and its helper. Its services never
# resolve (.example): a proxy that refuses keeps every lookup on this machine.
anzeige_starten
kappen=$arbeit/kappen
: >"$kappen"
chmod 666 "$kappen"
ohne_uhrrecht "${namensraum[@]}" "$echt=$praefix" -- "${als_mitglied[@]}" env GTK_MODULES="$probe" \
  DADAVIRU_KAPPENPROBE="$kappen" http_proxy=http://127.0.0.1:1 timeout 60 "$praefix/bin/Dadaviru" \
  || fehler "the installed Dadaviru exited with $?"
grep -q '^CapPrm:' "$kappen" || fehler "GTK did not load the probe module"
for menge in CapInh CapPrm CapEff CapAmb; do
  grep -qx "$menge:[[:space:]]*0*" "$kappen" || fehler "the process that runs GTK holds capabilities: $(cat "$kappen")"
done
echo "ok: the process that runs GTK holds no capability"
