#!/usr/bin/env bash
# A staged install: both programs, their desktop entries with the exact identification strings,
# their icons and manual pages; a staged install sets no capability and still succeeds.
# Argument: the build folder
set -euo pipefail
bau=$1
ziel=$(mktemp -d /tmp/dadaviru-installation.XXXXXX)
trap 'rm -rf "$ziel"' EXIT
fehler() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$ziel" cmake --install "$bau" --prefix /usr > "$ziel.log" 2>&1 || { cat "$ziel.log"; fehler "install failed"; }
grep -q "setcap cap_sys_time=ep /usr/bin/Dadaviru /usr/bin/Dadaviru_Autostart" "$ziel.log" \
  || fehler "the install did not say what to run later"
rm -f "$ziel.log"

for p in Dadaviru Dadaviru_Autostart; do
  [ -x "$ziel/usr/bin/$p" ] || fehler "$p not installed"
  if getcap "$ziel/usr/bin/$p" | grep -q cap_sys_time; then fehler "a staged $p carries the capability"; fi
done
# The window module lies where the programs' run path says.
modulpfad=$(readelf -d "$ziel/usr/bin/Dadaviru" | sed -n 's/.*Library runpath: \[\(.*\)\]/\1/p')
[ -n "$modulpfad" ] && [ -f "$ziel$modulpfad/libdadaviru_gtk.so" ] || fehler "window module not at the run path '$modulpfad'"

# Each icon as a PNG of its size, with the transparency of its source.
for s in dadaviru dadaviru_autostart; do
  for k in 16 32 48; do
    file -b "$ziel/usr/share/icons/hicolor/${k}x$k/apps/$s.png" | grep -q "^PNG image data, $k x $k, 8-bit/color RGBA" \
      || fehler "icon $s ${k}x$k: $(file -b "$ziel/usr/share/icons/hicolor/${k}x$k/apps/$s.png")"
  done
done
for seite in Dadaviru.1 Dadaviru_Autostart.1 zeitdienst.8; do
  [ -s "$ziel/usr/share/man/man${seite##*.}/$seite" ] || fehler "no manual page $seite"
done

pruefen() {
  local datei=$1
  shift
  [ -f "$datei" ] || fehler "$datei missing"
  local zeile
  for zeile in "$@"; do grep -qxF "$zeile" "$datei" || fehler "$datei lacks: $zeile"; done
}
pruefen "$ziel/usr/share/applications/dadaviru.desktop" \
  "Name=Dadaviru" "Comment=ändert die Systemzeit" "Exec=Dadaviru" "Icon=dadaviru" \
  "X-Dadaviru-Version=1.01" "X-Dadaviru-FileDescription=ändert die Systemzeit" "X-Dadaviru-ProductName=Dadaviru" \
  "X-Dadaviru-InternalName=Dadaviru" "X-Dadaviru-OriginalFilename=Dadaviru.exe" "X-Dadaviru-FileVersion=1.01" \
  "X-Dadaviru-ProductVersion=1.01" "X-Dadaviru-Description=Systemzeit ändern"
pruefen "$ziel/etc/xdg/autostart/dadaviru_autostart.desktop" \
  "Name=Dadaviru" "Comment=Ändert die Systemzeit nach 30sek." "Exec=Dadaviru_Autostart" \
  "Icon=dadaviru_autostart" "X-Dadaviru-Version=1.01" "X-Dadaviru-FileDescription=Ändert die Systemzeit nach 30sek." \
  "X-Dadaviru-InternalName=Dadaviru_Autostart" "X-Dadaviru-OriginalFilename=Dadaviru_Autostart.exe" \
  "X-Dadaviru-Description=Systemzeit ändern (für Revizavir)"
echo "ok: staged install"
