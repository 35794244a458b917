#!/usr/bin/env bash
# The Debian packages as built: lintian finds nothing it is not told why to accept, and each
# package holds what its users need, built with the release services, stripped, with no capability,
# and with a service that nothing starts. As root, they are also installed and purged, in a private
# mount namespace on an overlay of this machine's root, so that nothing they or their scripts do
# reaches the machine: dadaviru takes over no group dadaviru that is not its own, and purging
# zeitdienst leaves nothing of it.
# Arguments: the folder of the .deb files, the package version (1.01-1)
# SPDX-License-Identifier: MIT
set -euo pipefail
ordner=$1 version=$2
. "$(dirname "$0")/sicher_lib.sh"
debs=("$ordner/dadaviru_${version}_amd64.deb" "$ordner/zeitdienst_${version}_amd64.deb")

# Run by this script in its namespace (see the end), with the folder to mount on.
installiert_pruefen() {
  local ns=$1
  mount -t tmpfs dadaviru-pakete "$ns"
  mkdir "$ns/oben" "$ns/arbeit" "$ns/wurzel"
  mount -t overlay -o lowerdir=/,upperdir="$ns/oben",workdir="$ns/arbeit" dadaviru-wurzel "$ns/wurzel"
  mount -t proc proc "$ns/wurzel/proc"
  mount --rbind /dev "$ns/wurzel/dev"
  mkdir -p "$ns/wurzel/tmp/dadaviru-pakete"
  cp "${debs[@]}" "$ns/wurzel/tmp/dadaviru-pakete/"
  local dadaviru=/tmp/dadaviru-pakete/${debs[0]##*/} zeitdienst=/tmp/dadaviru-pakete/${debs[1]##*/}
  im() { ohne_uhrrecht chroot "$ns/wurzel" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"; }
  # im_dpkg WHAT ARGS...: dpkg in there, its errors in $ns/dpkg.log; fails as dpkg does.
  im_dpkg() { im dpkg "$@" >"$ns/dpkg.log" 2>&1; }
  zustand() { im dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null || true; }
  regel=/usr/share/polkit-1/rules.d/50-dadaviru.rules
  # The users and groups as the packages find them on a machine without the group, whatever other
  # tests do to the machine's meanwhile: copied up, the files no longer follow the machine's.
  im sh -c 'touch /etc/passwd /etc/shadow /etc/group /etc/gshadow
    if getent group dadaviru >/dev/null; then groupdel dadaviru; fi'

  im_dpkg -i "$dadaviru" "$zeitdienst" || fehler "the packages did not install: $(cat "$ns/dpkg.log")"
  local gid
  gid=$(im getent group dadaviru | cut -d: -f3)
  [ -n "$gid" ] && [ "$gid" -ge 100 ] && [ "$gid" -le 999 ] || fehler "the group dadaviru is no system group: gid '$gid'"
  erwarten "dadaviru's state" "ii " "$(zustand dadaviru)"
  echo "ok: installed, with a system group dadaviru"

  # The log folder as systemd makes it for a service with DynamicUser=, with logs logrotate kept.
  im sh -c 'mkdir -p -m 700 /var/log/private/zeitdienst && ln -s private/zeitdienst /var/log/zeitdienst
    echo zeile > /var/log/zeitdienst/zugriffe.log && echo alt | gzip > /var/log/zeitdienst/zugriffe.log.2.gz'
  im_dpkg --purge zeitdienst || fehler "zeitdienst did not purge: $(cat "$ns/dpkg.log")"
  local rest
  for rest in /var/log/zeitdienst /var/log/private/zeitdienst /usr/sbin/zeitdienst /etc/logrotate.d/zeitdienst \
    /lib/systemd/system/zeitdienst.service; do
    if im test -e "$rest" -o -L "$rest"; then fehler "purged, zeitdienst left $rest"; fi
  done
  echo "ok: purged, zeitdienst leaves nothing, its log folder neither"

  # A group dadaviru of another's, and it is not taken over: neither a group that is no system group
  # nor the private group of a user of that name. Nothing is unpacked, the polkit rule least of all.
  im_dpkg --purge dadaviru || fehler "dadaviru did not purge: $(cat "$ns/dpkg.log")"
  local fall
  for fall in "groupdel dadaviru && groupadd dadaviru" "groupdel dadaviru && useradd --system --user-group dadaviru"; do
    im sh -c "$fall"
    if im_dpkg -i "$dadaviru"; then fehler "dadaviru installed over a group not its own ($fall)"; fi
    grep -q "not a system group made for this package" "$ns/dpkg.log" || fehler "dadaviru did not say why ($fall): $(cat "$ns/dpkg.log")"
    grep -q "polkit rule lets every member" "$ns/dpkg.log" || fehler "dadaviru did not say what it means ($fall)"
    grep -q "groupmod -n" "$ns/dpkg.log" || fehler "dadaviru did not say how to fix it ($fall)"
    if im test -e "$regel"; then fehler "the polkit rule was unpacked ($fall)"; fi
    case $(zustand dadaviru) in
      ii* | iU* | iF* | iH*) fehler "dadaviru is installed ($fall): $(zustand dadaviru)" ;;
    esac
  done
  grep -q "private group of the user dadaviru" "$ns/dpkg.log" || fehler "dadaviru did not name the user's private group"
  echo "ok: dadaviru refuses a group dadaviru that is not a system group, or a user's private group"

  # A group that comes between unpacking and configuring: the postinst refuses too.
  im sh -c 'userdel dadaviru'
  im_dpkg --unpack "$dadaviru" || fehler "dadaviru did not unpack: $(cat "$ns/dpkg.log")"
  im groupadd dadaviru
  if im_dpkg --configure dadaviru; then fehler "dadaviru was configured with a group not its own"; fi
  grep -q "stays unconfigured" "$ns/dpkg.log" || fehler "the postinst did not say why: $(cat "$ns/dpkg.log")"
  [[ $(zustand dadaviru) != ii* ]] || fehler "dadaviru is configured"
  echo "ok: nor does the postinst take it over"
}

if [ "${3:-}" = wurzel ]; then
  installiert_pruefen "$4"
  exit
fi
arbeit=$(mktemp -d /tmp/dadaviru-pakete.XXXXXX)
trap 'rm -rf "$arbeit"' EXIT

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

if [ "$(id -u)" = 0 ]; then
  mkdir "$arbeit/wurzel"
  unshare --mount --propagation private bash "$0" "$ordner" "$version" wurzel "$arbeit/wurzel" \
    || fehler "the packages installed did not behave"
else
  echo "ok: not root, so not installed"
fi
