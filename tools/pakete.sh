#!/usr/bin/env bash
# Builds every package into build/pakete/: the Debian packages dadaviru and zeitdienst, and the
# Windows installer. Arguments go to CMake for all of them, so a publisher names their own services:
#   bash tools/pakete.sh -DDADAVIRU_HOST_A=time.example.org -DDADAVIRU_HOST_B=example.net
# With DADAVIRU_ZERTIFIKAT and DADAVIRU_SCHLUESSEL (PEM files) the Windows files are signed.
# SPDX-License-Identifier: MIT
set -euo pipefail
cd "$(dirname "$0")/.."
wurzel=$PWD

bash tools/einrichten.sh pakete

# The package's version and the program's must be one.
versionen=$(cmake -P cmake/Version.cmake)
read -r upstream numerisch <<< "$versionen"
paketversion=$(dpkg-parsechangelog -S Version)
[ "${paketversion%-*}" = "$upstream" ] || { echo "pakete: debian/changelog has $paketversion, CMakeLists.txt $upstream" >&2; exit 1; }

# Nothing built here ever runs with the right to set this machine's clock.
unset UHRATTRAPPE
. tools/sicher.sh
ziel=$wurzel/build/pakete
rm -f "$ziel"/*.deb "$ziel"/*.exe
mkdir -p "$ziel"

# Debian: from a copy of the tree, so neither the build nor the files dpkg-buildpackage writes
# beside the source end up in the checkout.
echo "== Debian packages"
deb=$ziel/deb
rm -rf "$deb"
mkdir -p "$deb/dadaviru-$upstream"
tar -C "$wurzel" --exclude=./build --exclude=./.git -cf - . | tar -C "$deb/dadaviru-$upstream" -xf -
(cd "$deb/dadaviru-$upstream" &&
  DEB_CONFIGURE_EXTRA_FLAGS="$*" DEB_BUILD_OPTIONS="parallel=2 ${DEB_BUILD_OPTIONS:-}" \
    ohne_uhrrecht dpkg-buildpackage -us -uc -b > "$deb/bau.log" 2>&1) || { tail -n 40 "$deb/bau.log"; exit 1; }
mv "$deb"/*.deb "$ziel"/

# Windows: a release build of the two programs alone, from scratch, stripped, then the installer
# around them.
echo "== Windows installer"
win=$ziel/windows
rm -rf "$win"
cmake -S "$wurzel" -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$wurzel/cmake/mingw.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DDADAVIRU_TESTS=OFF "$@" > /dev/null
cmake --build "$win" -j2 --target Dadaviru Dadaviru_Autostart > /dev/null
cmake --install "$win" --strip --prefix "$win/stufe" > /dev/null

nsis_optionen=()
if [ -n "${DADAVIRU_ZERTIFIKAT:-}" ]; then
  signieren="$wurzel/tools/signieren.sh"
  for exe in "$win"/stufe/bin/*.exe; do bash "$signieren" "$exe"; done
  nsis_optionen+=("-DSIGNIEREN=bash $signieren")
fi
makensis -V2 -NOCD -DVERSION="$upstream" -DNUMERISCH="$numerisch" -DQUELLE="$win/stufe/bin" \
  -DLIZENZ="$wurzel/LICENSE" -DAUSGABE="$ziel/Dadaviru-$upstream-setup.exe" "${nsis_optionen[@]}" \
  "$wurzel/app/win32/dadaviru.nsi"

echo "pakete: $(cd "$ziel" && ls ./*.deb ./*.exe | sed 's|^\./||' | paste -sd ' ') in build/pakete"
