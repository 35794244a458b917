#!/usr/bin/env bash
# Installs from Debian's packages what a task of this project needs, and only what is missing.
# Usage: einrichten.sh [TASK...]; the tasks are ausprobieren (the try command), tests (the whole
# suite), pakete (the Debian packages and the Windows installer), bench and dauertest; without one,
# tests. Run as root on Debian 12. Safe to run again.
# SPDX-License-Identifier: MIT
set -euo pipefail
wurzel=$(cd "$(dirname "$0")/.." && pwd)

# Each package is named once, in the first task that needs it; a task also takes those it builds on.
# What the package build needs, and what building and running the tests adds (<!nocheck>), are the
# Build-Depends of debian/control, which the task bauen installs from there.
declare -A pakete=(
  # Building the Linux programs, the time service and the test tools, beyond debian/control: the
  # presets' generator, and what the tests' builds and runs take from the system.
  [bauen]="build-essential ninja-build ca-certificates tzdata util-linux"
  [ausprobieren]=""
  # The Windows programs, cross-built, and the Wine that runs their tests.
  [windows]="g++-mingw-w64-i686 mingw-w64-tools g++-mingw-w64-x86-64 wine wine32:i386 wine64"
  [pakete]="dpkg-dev lintian nsis osslsigncode"
  # The real chain that sets the clock, for the tests and the benchmark: a private bus, timedated, polkit.
  [uhrkette]="systemd dbus-daemon dbus-bin polkitd"
  [tests]="git clang-format clang libclang-rt-14-dev xvfb xdotool xauth locales libcap2-bin curl file openssl
           iproute2"
  [bench]="wrk nginx-light hyperfine time binutils nftables tcpdump"
  [dauertest]="stress-ng"
)
declare -A baut_auf=(
  [ausprobieren]="bauen" [pakete]="bauen windows" [tests]="bauen windows pakete uhrkette" [bench]="bauen windows uhrkette"
  [dauertest]="tests"
)

aufgaben=("${@:-tests}")
gewaehlt=" "
waehlen() {
  local a
  for a in "$@"; do
    [[ -v "pakete[$a]" ]] || { echo "einrichten: no task $a" >&2; exit 2; }
    [[ $gewaehlt == *" $a "* ]] && continue
    gewaehlt+="$a "
    # shellcheck disable=SC2086 # a list of words
    waehlen ${baut_auf[$a]:-}
  done
}
waehlen "${aufgaben[@]}"

fehlend=()
for a in $gewaehlt; do
  for p in ${pakete[$a]}; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || fehlend+=("$p")
  done
done

# dpkg-checkbuilddeps comes with dpkg-dev, which a fresh machine lacks: then everything is missing.
bauabhaengigkeiten=0
if [[ $gewaehlt == *" bauen "* ]] && ! (cd "$wurzel" && dpkg-checkbuilddeps >/dev/null 2>&1); then
  bauabhaengigkeiten=1
fi

if [ ${#fehlend[@]} -gt 0 ] || [ $bauabhaengigkeiten = 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  # 32-bit Wine comes from the i386 architecture.
  if [[ " ${fehlend[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  # No service a package brings (nginx, dbus) may start on this machine; the lock goes on any exit.
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
    chmod +x /usr/sbin/policy-rc.d
    trap 'rm -f /usr/sbin/policy-rc.d' EXIT
  fi
  apt-get -o DPkg::Lock::Timeout=600 update -qq
  if [ ${#fehlend[@]} -gt 0 ]; then
    echo "einrichten: installing ${fehlend[*]}"
    apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${fehlend[@]}" >/dev/null
  fi
  if [ $bauabhaengigkeiten = 1 ]; then
    echo "einrichten: installing the Build-Depends of debian/control"
    apt-get -o DPkg::Lock::Timeout=600 build-dep -y -qq --no-install-recommends "$wurzel" >/dev/null
  fi
  if [[ " ${fehlend[*]} " == *" nginx-light "* ]] && command -v systemctl >/dev/null && [ -d /run/systemd/system ]; then
    systemctl disable nginx 2>/dev/null || true
  fi
fi

# The date conversion follows the user's locale; the tests try it under both of these.
if [[ $gewaehlt == *" tests "* ]]; then
  for loc in de_DE en_US; do
    if ! locale -a 2>/dev/null | grep -qi "^${loc}\.utf-\?8$"; then
      echo "einrichten: generating ${loc}.UTF-8"
      localedef -i "$loc" -c -f UTF-8 "${loc}.UTF-8"
    fi
  done
fi
