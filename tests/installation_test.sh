#!/usr/bin/env bash
# The install: staged, both programs and their helper with their desktop entries, icons, manual
# pages and polkit rule; then, as root, really installed into one prefix, by default and with the
# file capability by turns, in a private mount namespace where the prefix is a tmpfs and /etc an
# overlay, so that neither the helper with its capability nor the group and the user made for it are
# ever seen outside. Of the installed files only the helper runs, and never with CAP_SYS_TIME.
# Arguments: the build folder, the version
# SPDX-License-Identifier: MIT
set -euo pipefail
bau=$1 version=$2
. "$(dirname "$0")/sicher_lib.sh"

# The real install, run by this script in its namespace (see the end) with the folder to mount on.
echt_installieren() {
  local ns=$1
  mount -t tmpfs -o mode=755 dadaviru-installation "$ns"
  mkdir "$ns/echt" "$ns/etc-oben" "$ns/etc-arbeit"
  mount -t overlay -o lowerdir=/etc,upperdir="$ns/etc-oben",workdir="$ns/etc-arbeit" dadaviru-etc /etc
  # The group as the install finds it on a machine without one, whatever other tests do to the
  # machine's meanwhile: copied up, the files no longer follow the machine's.
  touch /etc/passwd /etc/shadow /etc/group /etc/gshadow
  if getent group dadaviru >/dev/null; then groupdel dadaviru; fi

  # The programs' component only, since the desktop entries' autostart folder lies outside any prefix.
  local echt=$ns/echt log=$ns/log
  installieren() {
    cmake "$@" -DCMAKE_INSTALL_PREFIX="$echt" -DCMAKE_INSTALL_COMPONENT=Programme -P "$bau/cmake_install.cmake" \
      >"$log" 2>&1 || fehler "install $* failed: $(cat "$log")"
  }
  local uhrsteller=$echt/libexec/dadaviru/uhrsteller
  # A user outside the group cannot even start the helper, whatever it carries. Were it started,
  # its instant would be refused before anything else. setpriv may still pass file modes over when
  # it starts a program, so a program of the user's (env) starts the helper, as the user would.
  fremdem_verwehrt() {
    local aus
    aus=$(ohne_uhrrecht setpriv --reuid=nobody --regid=nogroup --clear-groups -- env "$uhrsteller" kein zeitpunkt 2>&1) \
      && fehler "nobody ran the helper ($1)"
    [[ $aus == *"Permission denied"* ]] || fehler "nobody ran the helper ($1): $aus"
  }
  ohne_faehigkeit() {
    [ -z "$(getcap -r "$echt")" ] || fehler "$1: a file carries a capability: $(getcap -r "$echt")"
    erwarten "$1: the helper" "750 root root" "$(stat -c '%a %U %G' "$uhrsteller")"
    fremdem_verwehrt "$1"
  }
  mit_faehigkeit() {
    erwarten "$1: capabilities" "$uhrsteller cap_sys_time=p" "$(getcap -r "$echt")"
    erwarten "$1: the helper" "750 root dadaviru" "$(stat -c '%a %U %G' "$uhrsteller")"
    fremdem_verwehrt "$1"
  }

  installieren
  ohne_faehigkeit "by default"
  for p in Dadaviru Dadaviru_Autostart; do
    erwarten "$p" "755 root" "$(stat -c '%a %U' "$echt/bin/$p")"
  done
  [ -f "$echt/share/polkit-1/rules.d/50-dadaviru.rules" ] || fehler "no polkit rule under the prefix"
  grep -q "link $echt/share/polkit-1/rules.d/50-dadaviru.rules into /etc/polkit-1/rules.d" "$log" \
    || fehler "the install did not say where polkit looks"
  echo "ok: by default no capability, the helper root's alone, and the polkit rule"

  # Each install over the one before, the helper up to date and so left in place, with what the
  # earlier install gave it.
  local runde
  for runde in 1 2; do
    installieren -DDADAVIRU_FILE_CAPABILITY=ON
    getent group dadaviru >/dev/null || fehler "the group dadaviru was not created"
    mit_faehigkeit "with the file capability ($runde)"
    installieren -DDADAVIRU_FILE_CAPABILITY=OFF
    ohne_faehigkeit "without it again ($runde)"
    grep -q "Removed the capability" "$log" || fehler "the install did not say it removed the capability"
  done
  echo "ok: with the file capability only the helper carries it, for the group alone; without, none, and root alone runs it"

  # The group as the group database has it when the helper starts, not as a process took it up: a
  # shell of a user's, started while they were a member, outlives their removal. Started from it, the
  # helper must refuse (5) before it looks at its capability, which ohne_uhrrecht withholds anyway,
  # so a member gets as far as that (3).
  installieren -DDADAVIRU_FILE_CAPABILITY=ON
  local nutzer=dvtest-g$$
  useradd --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin --groups dadaviru "$nutzer"
  local uid
  uid=$(id -u "$nutzer")
  mkfifo -m 644 "$ns/los"
  chown "$nutzer" "$ns/los"
  als_mitglied_gestartet() {
    local vorsatz
    uhrrecht_vorsatz
    "${vorsatz[@]}" setpriv --reuid="$nutzer" --regid="$nutzer" --init-groups -- timeout 60 \
      sh -c 'read -r _ < "$1"; exec "$2" 1796644800.000000000 0.000000000' sh "$ns/los" "$uhrsteller" &
    schale=$!
    warten_auf 20 grep -qx "Uid:[[:space:]]*$uid[[:space:]].*" "/proc/$schale/status" || fehler "the user's shell did not start"
  }
  local schale status
  als_mitglied_gestartet
  echo >"$ns/los"
  status=0
  wait "$schale" || status=$?
  erwarten "the helper's status for a member" 3 "$status"
  als_mitglied_gestartet
  gpasswd --delete "$nutzer" dadaviru >/dev/null
  local gid gruppen
  gid=$(getent group dadaviru | cut -d: -f3)
  gruppen=$(sed -n 's/^Groups:[[:space:]]*//p' "/proc/$schale/status")
  [[ " $gruppen " == *" $gid "* ]] || fehler "the shell no longer holds the group $gid: $gruppen"
  echo >"$ns/los"
  status=0
  wait "$schale" || status=$?
  erwarten "the helper's status for a user removed from the group, from a shell started before" 5 "$status"
  echo "ok: a user removed from the group may no longer run the helper, from a shell that still holds the group too"
}

if [ "${3:-}" = namensraum ]; then
  echt_installieren "$4"
  exit
fi
ziel=$(mktemp -d /tmp/dadaviru-installation.XXXXXX)
trap 'rm -rf "$ziel"' EXIT

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
# The users made in there reach the helper through it.
chmod 755 "$ziel"
mkdir "$ziel/namensraum"
unshare --mount --propagation private bash "$0" "$bau" "$version" namensraum "$ziel/namensraum" \
  || fehler "the real install failed"
