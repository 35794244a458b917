#!/usr/bin/env bash
# The Debian packages as built: lintian finds nothing it is not told why to accept, and each
# package holds what its users need, built with the release services, stripped, with no capability,
# and with a service that nothing starts.
# Arguments: the folder of the .deb files, the package version (1.01-1)
# SPDX-License-Identifier: MIT
set -euo pipefail
ordner=$1 version=$2
. "$(dirname "$0")/sicher_lib.sh"
arbeit=$(mktemp -d /tmp/dadaviru-pakete.XXXXXX)
trap 'rm -rf "$arbeit"' EXIT

debs=("$ordner/dadaviru_${version}_amd64.deb" "$ordner/zeitdienst_${version}_amd64.deb")
lintian --fail-on error,warning --tag-display-limit 0 "${debs[@]}" || fehler "lintian"

for paket in dadaviru zeitdienst; do
  dpkg-deb -x "$ordner/${paket}_${version}_amd64.deb" "$arbeit/$paket"
  dpkg-deb -e "$ordner/${paket}_${version}_amd64.deb" "$arbeit/$paket/DEBIAN"
done

# package | file
inhalt=$(
  cat << EOF
dadaviru|usr/bin/Dadaviru
dadaviru|usr/bin/Dadaviru_Autostart
dadaviru|usr/libexec/dadaviru/uhrsteller
dadaviru|usr/lib/x86_64-linux-gnu/dadaviru/libdadaviru_gtk.so
dadaviru|usr/share/applications/dadaviru.desktop
dadaviru|etc/xdg/autostart/dadaviru_autostart.desktop
dadaviru|usr/share/man/man1/Dadaviru.1.gz
dadaviru|usr/share/man/man1/Dadaviru_Autostart.1.gz
dadaviru|usr/share/polkit-1/rules.d/50-dadaviru.rules
dadaviru|usr/lib/sysusers.d/dadaviru.conf
dadaviru|usr/share/doc/dadaviru/README.Debian
dadaviru|usr/share/doc/dadaviru/copyright
zeitdienst|usr/sbin/zeitdienst
zeitdienst|usr/share/man/man8/zeitdienst.8.gz
zeitdienst|lib/systemd/system/zeitdienst.socket
zeitdienst|lib/systemd/system/zeitdienst.service
zeitdienst|etc/logrotate.d/zeitdienst
zeitdienst|usr/share/doc/zeitdienst/copyright
EOF
  for symbol in dadaviru dadaviru_autostart; do
    for k in 16 32 48; do echo "dadaviru|usr/share/icons/hicolor/${k}x$k/apps/$symbol.png"; done
  done
)
while IFS='|' read -r paket datei; do
  [ -f "$arbeit/$paket/$datei" ] || fehler "$paket lacks /$datei"
  case $datei in
    *.png)
      k=${datei#*hicolor/}
      k=${k%%x*}
      file -b "$arbeit/$paket/$datei" | grep -q "^PNG image data, $k x $k," || fehler "/$datei is no ${k}x$k PNG" ;;
    */copyright)
      head -n1 "$arbeit/$paket/$datei" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
        || fehler "/$datei is not machine-readable" ;;
    usr/bin/* | usr/sbin/* | usr/libexec/* | *.so)
      file -b "$arbeit/$paket/$datei" | grep -q ', stripped$' || fehler "/$datei is not stripped" ;;
  esac
done <<< "$inhalt"

# The right to set the clock comes from the group and the polkit rule, never from a capability.
grep -q 'systemd-sysusers.*dadaviru.conf' "$arbeit/dadaviru/DEBIAN/postinst" || fehler "postinst does not make the group"
grep -qx 'g dadaviru -' "$arbeit/dadaviru/usr/lib/sysusers.d/dadaviru.conf" || fehler "sysusers.d does not name the group"
if grep -rqs setcap "$arbeit"/*/DEBIAN; then fehler "a maintainer script sets a capability"; fi

# The release services, the same as the manual page names; none of the tests' loopback ones.
url=$(zcat "$arbeit/dadaviru/usr/share/man/man1/Dadaviru.1.gz" | sed -n 's/^\.UR //p' | head -n1)
for p in Dadaviru Dadaviru_Autostart; do
  grep -qaF "$url" "$arbeit/dadaviru/usr/bin/$p" || fehler "$p does not ask $url, which its manual page names"
  if grep -qa '127\.0\.0\.' "$arbeit/dadaviru/usr/bin/$p"; then fehler "$p was built with the tests' loopback services"; fi
  # Its helper where the package puts it, handed nothing of the environment (the tests hand it the
  # clock interposer's variables).
  grep -qaF /usr/libexec/dadaviru/uhrsteller "$arbeit/dadaviru/usr/bin/$p" || fehler "$p does not run the packaged helper"
  if grep -qa UHRATTRAPPE "$arbeit/dadaviru/usr/bin/$p"; then fehler "$p hands its helper the tests' variables"; fi
done

# Installed to be configured: the units are known to systemd but neither enabled nor started.
for einheit in zeitdienst.socket zeitdienst.service; do
  grep -q "deb-systemd-helper debian-installed '$einheit'" "$arbeit/zeitdienst/DEBIAN/postinst" \
    || fehler "postinst enables $einheit"
done
if grep -q 'deb-systemd-invoke' "$arbeit/zeitdienst/DEBIAN/postinst"; then fehler "postinst starts the service"; fi
grep -qx '/etc/logrotate.d/zeitdienst' "$arbeit/zeitdienst/DEBIAN/conffiles" || fehler "the logrotate file is no conffile"

# The service alone: none of the tests' fault modes, and nothing of the desktop programs' libraries.
dienst=$arbeit/zeitdienst/usr/sbin/zeitdienst
for option in --body --status --delay --drip --huge --redirect --port-file --end-after; do
  if strings "$dienst" | grep -qx -- "$option\|.*[^a-z-]$option[^a-z-].*"; then fehler "zeitdienst knows the fault mode $option"; fi
done
if readelf -d "$dienst" | grep -E 'NEEDED.*(gtk|gdk|glib|curl|cap)'; then fehler "zeitdienst links a library of the programs"; fi
echo "ok: Debian packages"
