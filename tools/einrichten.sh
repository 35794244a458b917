#!/usr/bin/env bash
# Installs what building and testing Dadaviru needs, from Debian's packages, and only what is missing.
# Run as root on Debian 12. Safe to run again.
# SPDX-License-Identifier: MIT
set -euo pipefail

pakete=(
  build-essential cmake ninja-build pkg-config git clang-format
  clang libclang-rt-14-dev
  libcurl4-openssl-dev ca-certificates
  libboost-dev libsystemd-dev systemd
  libgtest-dev googletest
  libgtk-3-dev libx11-dev
  xvfb xdotool xauth
  locales tzdata
  util-linux libcap2-bin curl
  libsystemd-dev libcap-dev
  dbus-daemon dbus-bin python3-dbusmock
  imagemagick file
)

# The Windows programs are cross-built and tested under 32-bit Wine. A kernel without 32-bit
# support runs no 32-bit Wine; the tests then use a 64-bit build under 64-bit Wine.
windows_pakete=(g++-mingw-w64-i686 mingw-w64-tools wine wine32:i386 g++-mingw-w64-x86-64 wine64)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
pakete+=("${windows_pakete[@]}")

fehlend=()
for p in "${pakete[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    fehlend+=("$p")
  fi
done

# The benchmarks compare the time service with nginx, which must not start as this machine's web server.
bench_pakete=(wrk nginx-light)
for p in "${bench_pakete[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    fehlend+=("$p")
  fi
done

if [ ${#fehlend[@]} -gt 0 ]; then
  echo "einrichten: installing ${fehlend[*]}"
  export DEBIAN_FRONTEND=noninteractive
  sperre=
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d && chmod +x /usr/sbin/policy-rc.d && sperre=1
  fi
  apt-get update -qq
  apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${fehlend[@]}" >/dev/null
  [ -z "$sperre" ] || rm -f /usr/sbin/policy-rc.d
  if [[ " ${fehlend[*]} " == *" nginx-light "* ]] && command -v systemctl >/dev/null && [ -d /run/systemd/system ]; then
    systemctl disable --now nginx 2>/dev/null || true
  fi
fi

# The date conversion follows the user's locale; the tests try it under both of these.
for loc in de_DE en_US; do
  if ! locale -a 2>/dev/null | grep -qi "^${loc}\.utf-\?8$"; then
    echo "einrichten: generating ${loc}.UTF-8"
    localedef -i "$loc" -c -f UTF-8 "${loc}.UTF-8"
  fi
done
