#!/usr/bin/env bash
# The Windows installer under Wine, in a fresh prefix of its own: it refuses an unknown autostart
# and any folder but Program Files; each silent install over the one before leaves exactly the
# autostart it was asked for, whatever the one before had; the installed programs, with a
# WININET.DLL planted beside them, take Windows' own, ask their services in pass order and end by
# themselves; the uninstall leaves nothing. Wine's Task Scheduler is incomplete, so a stand-in
# schtasks.exe keeps the task. Where this machine cannot run 32-bit code, the same script is built
# as a 64-bit installer around the 64-bit programs and tested under 64-bit Wine.
# The test runs in a network namespace of its own, with nothing but its loopback, and a hosts file of
# its own that sends the programs' built-in services there.
# Arguments: Dadaviru-VERSION-setup.exe prefix-folder build-folder linux-tools-folder [certificate key]
#   build-folder: the build the installer's programs come from (tools/pakete.sh's), for the services
#   they ask; on a machine that cannot run 32-bit code, a 64-bit one (preset windows64).
# SPDX-License-Identifier: MIT
set -euo pipefail
if [ -z "${DADAVIRU_EIGENES_NETZ:-}" ]; then
  exec env DADAVIRU_EIGENES_NETZ=1 unshare --net --mount -- bash "$0" "$@"
fi
ip link set lo up

hier=$(cd "$(dirname "$0")" && pwd)
wurzel=$(cd "$hier/../.." && pwd)
setup=$(realpath "$1") bau=$(realpath "$3") werkzeuge=$(realpath "$4") zertifikat=${5:-} schluessel=${6:-}
WINEPREFIX=$(realpath -m "$2")
ZEITDIENST=$werkzeuge/pruefdienst
read -r version numerisch <<< "$(cmake -P "$wurzel/cmake/Version.cmake")"
quellen=$(cmake -DBAU="$bau" -P "$wurzel/cmake/Quellen.cmake")
mapfile -t quellen <<< "$quellen"

. "$hier/../sicher_lib.sh"
mingw=i686-w64-mingw32
if ! kann_32_bit; then
  echo "installer: this machine cannot run 32-bit programs; testing the same script as a 64-bit installer"
  export DADAVIRU_WINEARCH=win64
  mingw=x86_64-w64-mingw32
fi
rm -rf "$WINEPREFIX"
bash "$hier/wine_einrichten.sh" "$WINEPREFIX"
. "$hier/wine_lib.sh"
# No menu entries of Wine's own in this machine's home folder for the shortcuts the installer makes.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d;schtasks.exe=n"

if [ "$WINEARCH" = win64 ]; then
  optionen=(-DZIEL=amd64-unicode)
  mkdir "$arbeit/programme"
  cp "$bau"/app/Dadaviru.exe "$bau"/app/Dadaviru_Autostart.exe "$arbeit/programme/"
  if [ -n "$zertifikat" ]; then
    for exe in "$arbeit"/programme/*.exe; do
      DADAVIRU_ZERTIFIKAT=$zertifikat DADAVIRU_SCHLUESSEL=$schluessel bash "$wurzel/tools/signieren.sh" "$exe"
    done
    optionen+=("-DSIGNIEREN=bash $wurzel/tools/signieren.sh")
  fi
  DADAVIRU_ZERTIFIKAT=$zertifikat DADAVIRU_SCHLUESSEL=$schluessel \
    makensis -V1 -NOCD -DVERSION="$version" -DNUMERISCH="$numerisch" -DQUELLE="$arbeit/programme" \
    -DLIZENZ="$wurzel/LICENSE" -DAUSGABE="$arbeit/setup64.exe" "${optionen[@]}" "$wurzel/app/win32/dadaviru.nsi"
  echte_setup=$setup
  setup=$arbeit/setup64.exe
fi

c=$WINEPREFIX/drive_c
"$mingw-gcc" -std=c11 -O2 -municode -static -o "$c/windows/system32/schtasks.exe" "$hier/schtasks_attrappe.c"
"$mingw-gcc" -std=c11 -O2 -shared -o "$arbeit/WININET.DLL" "$hier/wininet_attrappe.c"
menue="$c/ProgramData/Microsoft/Windows/Start Menu/Programs"
startup="$menue/StartUp/Dadaviru_Autostart.lnk"
aufgabe=$c/aufgabe.xml
schluessel='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Dadaviru'
# reg says on stdout that a key is missing, so only its status tells.
eintrag() {
  local aus
  if aus=$(unter_wine 120 reg query "$schluessel" 2>/dev/null); then tr -d '\r' <<< "$aus"; fi
}
befehle() { tr -d '\r' 2>/dev/null < "$c/schtasks.log" || true; }

# Nothing of ours anywhere in the prefix: no file or folder, no task, no registry key or value. The
# registry files are only current once the Wine server has ended (unter_wine -w).
nichts_uebrig() {
  local reste
  reste=$(cd "$c" && find . -iname '*dadaviru*' -not -path './schtasks.log')
  [ -z "$reste" ] || fehler "$1: left behind: $reste"
  [ ! -e "$aufgabe" ] || fehler "$1: the task is still there"
  [ -z "$(eintrag)" ] || fehler "$1: the uninstall entry is still there"
  if grep -qi dadaviru "$WINEPREFIX"/*.reg; then fehler "$1: left in the registry: $(grep -i dadaviru "$WINEPREFIX"/*.reg)"; fi
}
nichts_uebrig "a fresh prefix"

# Refused, with nothing installed: a choice the installer does not know, and any folder but its own
# in Program Files, such as one on the system drive's root, which every user may be able to change.
for falsch in /AUTOSTART=immer '/D=C:\Dadaviru'; do
  status=0
  unter_wine -w 120 "$setup" /S "$falsch" || status=$?
  [ "$status" -ne 0 ] || fehler "the installer accepted $falsch"
done
nichts_uebrig "the refused installs"

# The installer's files, Start-menu entry and "Apps & features" entry, wherever it installed; sets
# $ort (the install folder, as Windows names it) and $ordner (the same here).
installiert_pruefen() {
  local e zeile groesse datei
  e=$(eintrag)
  ort=$(sed -n 's/^ *InstallLocation *REG_SZ *//p' <<< "$e")
  # Program Files of the installer's own width.
  [ "$ort" = 'C:\Program Files\Dadaviru' ] || fehler "$1: installed into '$ort'"
  ordner=$(unter_wine 120 winepath -u "$ort" 2>/dev/null | tr -d '\r')
  for datei in Dadaviru.exe Dadaviru_Autostart.exe LICENSE.txt Uninstall.exe; do
    [ -f "$ordner/$datei" ] || fehler "$1: no $datei in Program Files"
  done
  [ -f "$menue/Dadaviru.lnk" ] || fehler "$1: no Start-menu entry"
  for zeile in "DisplayName REG_SZ Dadaviru" "DisplayVersion REG_SZ $version" \
    "Publisher REG_SZ The Dadaviru developers" "DisplayIcon REG_SZ $ort\Dadaviru.exe,0" \
    "UninstallString REG_SZ \"$ort\Uninstall.exe\""; do
    grep -qxF "$zeile" <<< "$(sed 's/^ *//; s/ \{2,\}/ /g' <<< "$e")" || fehler "$1: the uninstall entry lacks '$zeile': $e"
  done
  groesse=$(sed -n 's/^ *EstimatedSize *REG_DWORD *//p' <<< "$e")
  [ $((groesse)) -gt 100 ] || fehler "$1: EstimatedSize is '$groesse' KiB"
}

# autostart_pruefen WHAT-BEFORE WHAT-NOW: only the autostart chosen now, however the install before
# started the program.
autostart_pruefen() {
  local wer="'$2' over '$1'" teil xml
  case $2 in
    aufgabe)
      grep -qiE '^"C:\\windows\\system32\\schtasks\.exe" /Create /TN "Dadaviru_Autostart" /XML "[^"]*\\aufgabe\.xml" /F$' <<< "$(befehle)" \
        || fehler "$wer: schtasks was run as: $(befehle)"
      xml=$(iconv -f UTF-16 -t UTF-8 "$aufgabe" | tr -d '\r')
      for teil in '<LogonTrigger><Enabled>true</Enabled></LogonTrigger>' '<RunLevel>HighestAvailable</RunLevel>' \
        '<GroupId>S-1-5-32-545</GroupId>' "<Command>\"$ort\\Dadaviru_Autostart.exe\"</Command>" \
        "<WorkingDirectory>$ort</WorkingDirectory>" '<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>'; do
        grep -qF "$teil" <<< "$xml" || fehler "$wer: the task lacks $teil: $xml"
      done
      [ ! -e "$startup" ] || fehler "$wer: a Startup shortcut as well as the task" ;;
    ordner)
      [ -f "$startup" ] || fehler "$wer: no Startup shortcut"
      [ ! -e "$aufgabe" ] || fehler "$wer: the task as well as the Startup shortcut" ;;
    keine)
      [ ! -e "$startup" ] || fehler "$wer: a Startup shortcut"
      [ ! -e "$aufgabe" ] || fehler "$wer: a task" ;;
  esac
}

# Each install goes over the one before, with no uninstall between. In this order every choice
# follows every choice once; the first takes the default. "keine" names Program Files itself.
vorher=keine
for wahl in '' aufgabe ordner ordner keine keine aufgabe keine ordner aufgabe; do
  argumente=(/S ${wahl:+"/AUTOSTART=$wahl"})
  # /D= takes the rest of the command line, unquoted; so two words that Wine joins with a blank.
  [ "$wahl" != keine ] || argumente+=('/D=C:\Program' 'Files\Dadaviru')
  rm -f "$c/schtasks.log"
  unter_wine 120 "$setup" "${argumente[@]}" || fehler "install of '$wahl' over '$vorher' exited with $?"
  installiert_pruefen "${wahl:-the default}"
  autostart_pruefen "$vorher" "${wahl:-aufgabe}"
  if [ -n "$zertifikat" ] && [ -z "$wahl" ]; then
    for datei in Dadaviru.exe Dadaviru_Autostart.exe Uninstall.exe; do
      osslsigncode verify -CAfile "$zertifikat" -in "$ordner/$datei" > /dev/null || fehler "$datei is not signed"
    done
  fi
  vorher=${wahl:-aufgabe}
done
echo "ok: installer, every autostart over every other, and none but Program Files"

# The services the programs were built with answer on this namespace's loopback, each host name on
# the address the end-to-end helpers serve it from, at the port of its URL.
printf '127.0.0.1 localhost\n' > "$arbeit/hosts"
namen=(host_a host_b host_c)
for i in 0 1 2; do
  adresse=${quellen[$i]#http://}
  adresse=${adresse%%/*}
  name=${adresse%:*} port=80
  [ "$name" = "$adresse" ] || port=${adresse##*:}
  [[ $name =~ ^[A-Za-z0-9.-]*[A-Za-z][A-Za-z0-9.-]*$ ]] || fehler "pass $i asks $name, which a hosts file cannot send to loopback"
  printf '127.0.0.%d %s\n' $((i + 1)) "$name" >> "$arbeit/hosts"
  printf -v "${namen[$i]}" '127.0.0.%d:%d' $((i + 1)) "$port"
done
mount --bind "$arbeit/hosts" /etc/hosts

# The installed programs, as the task or the shortcut starts them, with a WININET.DLL beside them:
# Wine, like Windows, loads a native WinINet it finds there. Each must take the system's, fetch
# in pass order, have its clock writes refused, and end by itself.
cp "$arbeit/WININET.DLL" "$ordner/"
anzeige_starten
export WINEDEBUG=-all,err+sync,+loaddll WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wininet=n,b"
for programm in Dadaviru Dadaviru_Autostart; do
  neu_beginnen
  alle_starten 0
  starten "$ort\\$programm.exe"
  # Dadaviru_Autostart waits its 30 s first. A program that took the planted DLL breaks off at its
  # first call into it; that is told first.
  warten_auf 150 eval '! kill -0 "$programm_pid"' || true
  [ ! -e "$c/gepflanzt.txt" ] || fehler "$programm loaded the planted WININET.DLL"
  endet_binnen "$programm" 10
  in_passfolge
  grep -qiE 'Loaded L"C:\\\\windows\\\\(system32|syswow64)\\\\wininet\.dll"' "$arbeit/wine.log" \
    || fehler "$programm did not load the system's WinINet: $(grep -i wininet "$arbeit/wine.log")"
  echo "ok: the installed $programm, beside a planted WININET.DLL"
done
dienste_beenden
export WINEDEBUG=-all
rm "$ordner/WININET.DLL"

unter_wine -w 120 "$ordner/Uninstall.exe" /S || fehler "uninstall exited with $?"
grep -qixF '"C:\windows\system32\schtasks.exe" /Delete /TN "Dadaviru_Autostart" /F' <<< "$(befehle)" \
  || fehler "the uninstall did not remove the task: $(befehle)"
nichts_uebrig "after the uninstall"
if [ -n "$zertifikat" ]; then
  osslsigncode verify -CAfile "$zertifikat" -in "${echte_setup:-$setup}" > /dev/null || fehler "the installer is not signed"
fi
echo "ok: installer under Wine"
