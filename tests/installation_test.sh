#!/usr/bin/env bash
# The install: staged, both programs and their helper with their desktop entries, icons, manual
# pages and polkit rule; then, as root, really installed into a temporary prefix, once as by default
# (no capability) and once with the file capability. The installed programs are never run; all is
# removed at the end.
# Arguments: the build folder, the version
# SPDX-License-Identifier: MIT
set -euo pipefail
bau=$1 version=$2
ziel=$(mktemp -d /tmp/dadaviru-installation.XXXXXX)
gruppe_angelegt=
aufraeumen() {
  rm -rf "$ziel"
  if [ -n "$gruppe_angelegt" ]; then groupdel dadaviru; fi
}
trap aufraeumen EXIT
. "$(dirname "$0")/sicher_lib.sh"

DESTDIR="$ziel/stufe" cmake --install "$bau" --prefix /usr > "$ziel/log" 2>&1 || { cat "$ziel/log"; fehler "install failed"; }
stufe=$ziel/stufe
for p in bin/Dadaviru bin/Dadaviru_Autostart libexec/dadaviru/uhrsteller; do
  [ -x "$stufe/usr/$p" ] || fehler "$p not installed"
done
[ -z "$(getcap -r "$stufe")" ] || fehler "a staged file carries a capability: $(getcap -r "$stufe")"
grep -q 'subject.isInGroup("dadaviru")' "$stufe/usr/share/polkit-1/rules.d/50-dadaviru.rules" || fehler "no polkit rule"
# The window module lies under the prefix installed to, where the programs' run path, made for the
# prefix the build was configured with, says.
praefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$bau/CMakeCache.txt")
modulpfad=$(readelf -d "$stufe/usr/bin/Dadaviru" | sed -n 's/.*Library runpath: \[\(.*\)\]/\1/p')
[[ $modulpfad == "$praefix"/* ]] && [ -f "$stufe/usr${modulpfad#"$praefix"}/libdadaviru_gtk.so" ] \
  || fehler "window module not at the run path '$modulpfad'"

# Each icon as a PNG of its size, with the transparency of its source.
for s in dadaviru dadaviru_autostart; do
  for k in 16 32 48; do
    file -b "$stufe/usr/share/icons/hicolor/${k}x$k/apps/$s.png" | grep -q "^PNG image data, $k x $k, 8-bit/color RGBA" \
      || fehler "icon $s ${k}x$k: $(file -b "$stufe/usr/share/icons/hicolor/${k}x$k/apps/$s.png")"
  done
done
for seite in Dadaviru.1 Dadaviru_Autostart.1 zeitdienst.8; do
  [ -s "$stufe/usr/share/man/man${seite##*.}/$seite" ] || fehler "no manual page $seite"
done

eintraege_pruefen() {
  local datei=$1
  shift
  [ -f "$datei" ] || fehler "$datei missing"
  local zeile
  for zeile in "$@"; do grep -qxF "$zeile" "$datei" || fehler "$datei lacks: $zeile"; done
}
eintraege_pruefen "$stufe/usr/share/applications/dadaviru.desktop" \
  "Name=Dadaviru" "Comment=ändert die Systemzeit" "TryExec=Dadaviru" "Exec=Dadaviru" "Icon=dadaviru" \
  "X-Dadaviru-Version=$version" "X-Dadaviru-FileDescription=ändert die Systemzeit" "X-Dadaviru-ProductName=Dadaviru" \
  "X-Dadaviru-InternalName=Dadaviru" "X-Dadaviru-OriginalFilename=Dadaviru.exe" "X-Dadaviru-FileVersion=$version" \
  "X-Dadaviru-ProductVersion=$version" "X-Dadaviru-Description=Systemzeit ändern"
eintraege_pruefen "$stufe/etc/xdg/autostart/dadaviru_autostart.desktop" \
  "Name=Dadaviru" "Comment=Ändert die Systemzeit nach 30sek." "TryExec=Dadaviru_Autostart" "Exec=Dadaviru_Autostart" \
  "Icon=dadaviru_autostart" "X-Dadaviru-Version=$version" "X-Dadaviru-FileDescription=Ändert die Systemzeit nach 30sek." \
  "X-Dadaviru-InternalName=Dadaviru_Autostart" "X-Dadaviru-OriginalFilename=Dadaviru_Autostart.exe" \
  "X-Dadaviru-Description=Systemzeit ändern (für Revizavir)"
echo "ok: staged install"

if [ "$(id -u)" != 0 ]; then
  echo "ok: not root, so no real install"
  exit 0
fi

# Really installed, not staged: the programs' component only, since the desktop entries' autostart
# folder lies outside any prefix.
echt=$ziel/echt
installieren() {
  cmake "$@" -DCMAKE_INSTALL_PREFIX="$echt" -DCMAKE_INSTALL_COMPONENT=Programme -P "$bau/cmake_install.cmake" \
    > "$ziel/log" 2>&1 || { cat "$ziel/log"; fehler "install $* failed"; }
}
installieren
[ -z "$(getcap -r "$echt")" ] || fehler "by default a file carries a capability: $(getcap -r "$echt")"
[ -f "$echt/share/polkit-1/rules.d/50-dadaviru.rules" ] || fehler "no polkit rule under the prefix"
grep -q "link $echt/share/polkit-1/rules.d/50-dadaviru.rules into /etc/polkit-1/rules.d" "$ziel/log" \
  || fehler "the install did not say where polkit looks"
echo "ok: by default no capability, and the polkit rule"

# Other tests make and remove the group too.
. "$(dirname "$0")/uhrkette_lib.sh"
gruppe_sperren
getent group dadaviru >/dev/null || gruppe_angelegt=1
installieren -DDADAVIRU_FILE_CAPABILITY=ON
getent group dadaviru >/dev/null || fehler "the group dadaviru was not created"
uhrsteller=$echt/libexec/dadaviru/uhrsteller
[ "$(getcap -r "$echt")" = "$uhrsteller cap_sys_time=p" ] || fehler "capabilities: $(getcap -r "$echt")"
[ "$(stat -c '%a %U %G' "$uhrsteller")" = "750 root dadaviru" ] || fehler "uhrsteller: $(stat -c '%a %U %G' "$uhrsteller")"
echo "ok: with the file capability, only the helper: cap_sys_time=p, 0750, group dadaviru"
