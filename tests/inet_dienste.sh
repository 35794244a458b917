# The time services that the tests of both HTTP clients ask, each started once on loopback and named
# to the test program in DADAVIRU_ZEITDIENSTE ("name=port name=port ..."). Sourced after e2e_lib.sh,
# with ZEITDIENST naming pruefdienst.
# SPDX-License-Identifier: MIT

# benannt NAME [pruefdienst options...]: a service on 127.0.0.1, named to the tests; sets $port.
benannt() {
  local name=$1
  shift
  dienst_starten 127.0.0.1 0 "$@"
  DADAVIRU_ZEITDIENSTE+="$name=$port "
}

inet_dienste_starten() {
  export DADAVIRU_ZEITDIENSTE=
  benannt normal
  benannt fehler500 --status 500 --body "2026-12-07 13:45:09"
  benannt ziel --body "2026-12-07 13:45:09"
  benannt umleitung --redirect "http://127.0.0.1:$port/zeit.php"
  benannt zur_datei --redirect "file:///etc/hostname"
  benannt kreis --redirect "/zeit.php"
  # A chain of redirects, each to the one before: kette5 takes five hops to "ok", kette6 six.
  benannt kette0 --body "ok"
  local i
  for i in 1 2 3 4 5 6; do benannt "kette$i" --redirect "http://127.0.0.1:$port/zeit.php"; done
  # Each of these would hold a client for 30 s or more, far beyond the tests' limit.
  benannt tropfen --drip 100
  benannt langsam --delay 30000
  benannt stockend --drip 30000
  benannt kopftropfen --drip-head 500
  benannt riesig --huge 100
  benannt zu_lang --body "$(head -c 65537 /dev/zero | tr '\0' x)"
  benannt gerade_noch --body "$(head -c 65536 /dev/zero | tr '\0' x)"
}
