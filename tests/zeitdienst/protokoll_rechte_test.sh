#!/usr/bin/env bash
# The time service started as root by hand, with its log in a folder others may write to: it must
# give root up before it serves, never write its log through a link, show every byte a client chose
# as text, and open its log afresh on SIGHUP as logrotate expects, the log it made being its user's.
# Started by another user with a capability, it must give that up too.
# Usage: protokoll_rechte_test.sh ZEITDIENST
# SPDX-License-Identifier: MIT
set -euo pipefail
ZEITDIENST=$1
. "$(dirname "$0")/zeitdienst_lib.sh"
zeitdienst=$ZEITDIENST
[ "$(id -u)" = 0 ] || { echo "ok: not root, nothing to test"; exit 0; }

# The log's folder belongs to the user the service becomes, so that it can make a new file there.
chmod 0711 "$arbeit"
ordner=$arbeit/protokolle
install -d -o nobody -m 0700 "$ordner"
opfer=$arbeit/opfer
echo unberuehrt > "$opfer"
# Its user's, so that nothing but the checks of the name can keep the service from it.
chown nobody "$opfer"

echo "a log that is a link, or one more name of another file, is refused"
ln -s "$opfer" "$ordner/weich.log"
ln "$opfer" "$ordner/hart.log"
for name in weich.log hart.log; do
  rc=0
  ohne_uhrrecht timeout 20 "$zeitdienst" --bind 127.0.0.1 --port 0 --log "$ordner/$name" >/dev/null 2>"$arbeit/fehler" || rc=$?
  erwarten "started with the log $name" "1 1" "$rc $(grep -c 'cannot open the log' "$arbeit/fehler")"
done
erwarten "the file behind the links" unberuehrt "$(cat "$opfer")"

echo "root is given up before serving, the log opened before that and given to the user"
dienst_starten 127.0.0.1 0 --log "$ordner/zugriffe.log" 2> >(tee "$arbeit/dienst.stderr" >&2)
dienst=$(dienst_selbst)
nobody=$(id -u nobody) nogroup=$(id -g nobody)
erwarten "user ids" "$nobody $nobody $nobody $nobody" "$(awk '/^Uid:/ { print $2, $3, $4, $5 }' "/proc/$dienst/status")"
erwarten "group ids" "$nogroup $nogroup $nogroup $nogroup" "$(awk '/^Gid:/ { print $2, $3, $4, $5 }' "/proc/$dienst/status")"
erwarten "supplementary groups" "" "$(awk '/^Groups:/ { print $2 }' "/proc/$dienst/status")"
erwarten "capabilities" 0000000000000000 "$(awk '/^CapEff:/ { print $2 }' "/proc/$dienst/status")"
erwarten "the log's mode and owner" "640 nobody" "$(stat -c '%a %U' "$ordner/zugriffe.log")"
for benutzer in root niemand-hier; do
  rc=0
  ohne_uhrrecht timeout 20 "$zeitdienst" --bind 127.0.0.1 --port 0 --user "$benutzer" >/dev/null 2>&1 || rc=$?
  erwarten "--user $benutzer" 1 "$rc"
done

echo "every byte outside printable ASCII, and the quote and the backslash, as \\xHH"
verbinden roh
# CSI and the right-to-left override in UTF-8, a raw CSI byte, the quote and the backslash.
printf 'GET /zeit.php?\xc2\x9b\xe2\x80\xae\x9b"\\ HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n' >&"$roh"
antwort_lesen "$roh" || fehler "no answer to a request with bytes outside ASCII"
exec {roh}>&-
warten_auf 20 grep -q 'zeit\.php?' "$ordner/zugriffe.log" || fehler "the request was not logged"
erwarten "the request in the log" '"GET /zeit.php?\xC2\x9B\xE2\x80\xAE\x9B\x22\x5C HTTP/1.1"' \
  "$(grep -o '"GET /zeit\.php?.*"' "$ordner/zugriffe.log")"
if grep -q '[^ -~]' "$ordner/zugriffe.log"; then fehler "the log holds bytes outside printable ASCII"; fi

echo "SIGHUP: the log opened afresh, as nobody, and never onto a link"
# Not moved, as when logrotate's shared postrotate signals for another log of the folder.
kill -HUP "$dienst"
neue_zeile() { holen -o /dev/null "http://127.0.0.1:$port/$1" && grep -q "GET /$1 " "$ordner/zugriffe.log"; }
warten_auf 30 neue_zeile nach-hup || fehler "no log line after SIGHUP"
if grep -q 'cannot open the log afresh' "$arbeit/dienst.stderr"; then fehler "the log it made could not be opened afresh"; fi
mv "$ordner/zugriffe.log" "$ordner/zugriffe.log.1"
kill -HUP "$dienst"
warten_auf 30 neue_zeile neu || fehler "no new log after SIGHUP"
erwarten "the new log's mode and owner" "640 nobody" "$(stat -c '%a %U' "$ordner/zugriffe.log")"
mv "$ordner/zugriffe.log" "$ordner/zugriffe.log.2"
ln -s "$opfer" "$ordner/zugriffe.log"
kill -HUP "$dienst"
warten_auf 30 grep -q 'cannot open the log afresh' "$arbeit/dienst.stderr" || fehler "a link in the log's place went unremarked"
holen -o /dev/null "http://127.0.0.1:$port/weiter"
warten_auf 20 grep -q 'GET /weiter ' "$ordner/zugriffe.log.2" || fehler "the log did not go on into the old file"
erwarten "the file behind the link" unberuehrt "$(cat "$opfer")"

echo "started by another user with a capability, it holds none"
cat > "$arbeit/mit_faehigkeit" <<EOF
#!/bin/sh
exec setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=+net_bind_service \\
  --ambient-caps=+net_bind_service "$zeitdienst" "\$@"
EOF
chmod 0755 "$arbeit/mit_faehigkeit"
ZEITDIENST=$arbeit/mit_faehigkeit dienst_starten 127.0.0.1 0 --log off
dienst=$(dienst_selbst)
erwarten "its user" "$nobody" "$(awk '/^Uid:/ { print $2 }' "/proc/$dienst/status")"
erwarten "capabilities" "0000000000000000 0000000000000000 0000000000000000 0000000000000000" \
  "$(awk '/^Cap(Inh|Prm|Eff|Amb):/ { printf "%s%s", sep, $2; sep = " " }' "/proc/$dienst/status")"
erwarten "status" 200 "$(holen -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/")"
echo "ok"
