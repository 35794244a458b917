#!/usr/bin/env bash
# The Windows installer under Wine, in a fresh prefix of its own: a silent install for each choice of
# autostart, with its files, Start-menu entry, task or Startup shortcut and "Apps & features" entry,
# then a silent uninstall that leaves nothing. Wine's Task Scheduler is incomplete, so a stand-in
# schtasks.exe records the commands and the task definition the installer hands it. On a machine
# that cannot run 32-bit code, the same script is built as a 64-bit installer and tested under
# 64-bit Wine.
# Arguments: Dadaviru-VERSION-setup.exe VERSION prefix-folder programs-folder [certificate key]
# SPDX-License-Identifier: MIT
set -euo pipefail
setup=$(realpath "$1") version=$2 programme=$(realpath "$4") zertifikat=${5:-} schluessel=${6:-}
WINEPREFIX=$(realpath -m "$3")
hier=$(cd "$(dirname "$0")" && pwd)
fehler() { echo "FAIL: $*" >&2; exit 1; }
unset UHRATTRAPPE
. "$hier/../sicher_lib.sh"
arbeit=$(mktemp -d /tmp/dadaviru-installer.XXXXXX)
trap 'rm -rf "$arbeit"' EXIT

mingw=i686-w64-mingw32
if ! kann_32_bit; then
  echo "installer: this machine cannot run 32-bit programs; testing the same script as a 64-bit installer"
  export DADAVIRU_WINEARCH=win64
  mingw=x86_64-w64-mingw32
  IFS=. read -r haupt neben <<< "$version"
  optionen=(-DZIEL=amd64-unicode)
  [ -z "$zertifikat" ] || optionen+=("-DSIGNIEREN=bash $hier/../../tools/signieren.sh")
  DADAVIRU_ZERTIFIKAT=$zertifikat DADAVIRU_SCHLUESSEL=$schluessel \
    makensis -V1 -NOCD -DVERSION="$version" -DNUMERISCH="$haupt.$((10#$neben)).0.0" -DQUELLE="$programme" \
    -DLIZENZ="$hier/../../LICENSE" -DAUSGABE="$arbeit/setup64.exe" "${optionen[@]}" "$hier/../../app/win32/dadaviru.nsi"
  echte_setup=$setup
  setup=$arbeit/setup64.exe
fi

rm -rf "$WINEPREFIX"
bash "$hier/wine_einrichten.sh" "$WINEPREFIX"
# No menu entries of Wine's own in this machine's home folder for the shortcuts the installer makes.
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;schtasks.exe=n"
wine_waehlen "$WINEPREFIX.bin"
c=$WINEPREFIX/drive_c
"$mingw-gcc" -std=c11 -O2 -municode -static -o "$c/windows/system32/schtasks.exe" "$hier/schtasks_attrappe.c"

# Each step waits for the Wine server, so an uninstaller that hands over to its copy in Temp has finished.
unter_wine() {
  local status=0
  ohne_uhrrecht timeout -k 10 120 wine "$@" || status=$?
  ohne_uhrrecht timeout 60 wineserver -w
  return $status
}
menue="$c/ProgramData/Microsoft/Windows/Start Menu/Programs"
schluessel='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Dadaviru'
# reg says on stdout that a key is missing, so only its status tells.
eintrag() {
  local aus
  if aus=$(unter_wine reg query "$schluessel" 2>/dev/null); then tr -d '\r' <<< "$aus"; fi
}
befehle() { tr -d '\r' 2>/dev/null < "$c/schtasks.log" || true; }

# Nothing of ours anywhere in the prefix: no file or folder, no registry key or value.
nichts_uebrig() {
  local reste
  reste=$(cd "$c" && find . -iname '*dadaviru*' -not -path './schtasks.log')
  [ -z "$reste" ] || fehler "$1: left behind: $reste"
  [ -z "$(eintrag)" ] || fehler "$1: the uninstall entry is still there"
  if grep -qi dadaviru "$WINEPREFIX"/*.reg; then fehler "$1: left in the registry: $(grep -i dadaviru "$WINEPREFIX"/*.reg)"; fi
}
nichts_uebrig "a fresh prefix"

# /AUTOSTART value (none: the default) | what the autostart must be
while IFS='|' read -r wahl erwartet; do
  rm -f "$c/schtasks.log" "$c/aufgabe.xml"
  unter_wine "$setup" /S ${wahl:+"/AUTOSTART=$wahl"} || fehler "install with '$wahl' exited with $?"

  e=$(eintrag)
  # Where the installer put the programs: Program Files of the installer's own width.
  ort=$(sed -n 's/^ *InstallLocation *REG_SZ *//p' <<< "$e")
  [[ $ort == 'C:\Program Files'*'\Dadaviru' ]] || fehler "$wahl: installed into '$ort'"
  ordner=$(unter_wine winepath -u "$ort" 2>/dev/null | tr -d '\r')
  for datei in Dadaviru.exe Dadaviru_Autostart.exe LICENSE.txt Uninstall.exe; do
    [ -f "$ordner/$datei" ] || fehler "$wahl: no $datei in Program Files"
  done
  [ -f "$menue/Dadaviru.lnk" ] || fehler "$wahl: no Start-menu entry"
  for zeile in "DisplayName REG_SZ Dadaviru" "DisplayVersion REG_SZ $version" \
    "Publisher REG_SZ The Dadaviru developers" "DisplayIcon REG_SZ $ort\Dadaviru.exe,0" \
    "UninstallString REG_SZ \"$ort\Uninstall.exe\""; do
    grep -qxF "$zeile" <<< "$(sed 's/^ *//; s/ \{2,\}/ /g' <<< "$e")" || fehler "$wahl: the uninstall entry lacks '$zeile': $e"
  done
  groesse=$(sed -n 's/^ *EstimatedSize *REG_DWORD *//p' <<< "$e")
  [ $((groesse)) -gt 100 ] || fehler "$wahl: EstimatedSize is '$groesse' KiB"

  aufgabe=$(grep -i '/Create' <<< "$(befehle)" || true)
  startup="$menue/StartUp/Dadaviru_Autostart.lnk"
  case $erwartet in
    aufgabe)
      grep -qiE '^"C:\\windows\\system32\\schtasks\.exe" /Create /TN "Dadaviru_Autostart" /XML "[^"]*\\aufgabe\.xml" /F$' <<< "$aufgabe" \
        || fehler "$wahl: schtasks was run as: $(befehle)"
      xml=$(iconv -f UTF-16 -t UTF-8 "$c/aufgabe.xml" | tr -d '\r')
      for teil in '<LogonTrigger><Enabled>true</Enabled></LogonTrigger>' '<RunLevel>HighestAvailable</RunLevel>' \
        '<GroupId>S-1-5-32-545</GroupId>' "<Command>\"$ort\\Dadaviru_Autostart.exe\"</Command>" \
        "<WorkingDirectory>$ort</WorkingDirectory>" '<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>'; do
        grep -qF "$teil" <<< "$xml" || fehler "$wahl: the task lacks $teil: $xml"
      done
      [ ! -e "$startup" ] || fehler "$wahl: a Startup shortcut as well as the task" ;;
    ordner)
      [ -f "$startup" ] || fehler "$wahl: no Startup shortcut"
      [ -z "$aufgabe" ] || fehler "$wahl: a task as well: $aufgabe" ;;
    keine)
      [ ! -e "$startup" ] && [ -z "$aufgabe" ] || fehler "$wahl: an autostart although none was chosen" ;;
  esac
  if [ -n "$zertifikat" ]; then
    for datei in Dadaviru.exe Dadaviru_Autostart.exe Uninstall.exe; do
      osslsigncode verify -CAfile "$zertifikat" -in "$ordner/$datei" > /dev/null || fehler "$datei is not signed"
    done
  fi

  unter_wine "$ordner/Uninstall.exe" /S || fehler "uninstall after '$wahl' exited with $?"
  grep -qixF '"C:\windows\system32\schtasks.exe" /Delete /TN "Dadaviru_Autostart" /F' <<< "$(befehle)" \
    || fehler "$wahl: the uninstall did not remove the task: $(befehle)"
  nichts_uebrig "after the uninstall of '$wahl'"
  echo "ok: installer, autostart ${wahl:-by default}: $erwartet"
done << 'EOF'
|aufgabe
ordner|ordner
keine|keine
EOF

# A choice the installer does not know installs nothing.
status=0
unter_wine "$setup" /S /AUTOSTART=immer || status=$?
[ "$status" -ne 0 ] || fehler "an unknown /AUTOSTART was accepted"
nichts_uebrig "an unknown /AUTOSTART"
if [ -n "$zertifikat" ]; then
  osslsigncode verify -CAfile "$zertifikat" -in "${echte_setup:-$setup}" > /dev/null || fehler "the installer is not signed"
fi
echo "ok: installer under Wine"
