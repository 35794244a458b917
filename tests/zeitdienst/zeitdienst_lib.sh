# Shared pieces of the time service's tests: the real service, started by dienst_starten, and plain
# HTTP over bash's /dev/tcp for what no client library sends (pipelined requests, bytes of any value,
# connections held open). Sourced, not run; expects ZEITDIENST.
# SPDX-License-Identifier: MIT

. "$(dirname "${BASH_SOURCE[0]}")/../e2e_lib.sh"
export no_proxy="127.0.0.0/8,localhost" NO_PROXY="127.0.0.0/8,localhost"
export LC_ALL=C  # bytes as bytes, and a point in $EPOCHREALTIME
trap '' PIPE  # requests go to sockets the service may have closed
# These tests read the real clock, whatever NTP's state on this machine; the state itself is tested
# under the clock interposer, which tells the service what the test wants.
[ -n "${UHRATTRAPPE:-}" ] || dienst_optionen=--serve-unsynchronised

# A client that gives up: every answer comes within a second or two, a refusal at once.
holen() { curl -sS --max-time 20 "$@"; }

# The service itself, which dienst_starten runs as the child of timeout.
dienst_selbst() { cut -d' ' -f1 "/proc/$dienst_pid/task/$dienst_pid/children"; }

# verbinden VAR [ADDR]: a connection to the last service started, its descriptor in VAR.
verbinden() { eval "exec {$1}<>/dev/tcp/${2:-127.0.0.1}/$port"; }

# antwort_lesen FD: reads one answer; sets $status, $kopf (the header lines) and $rumpf. False at the
# end of the connection, or when no whole answer comes within 10 s.
antwort_lesen() {
  local fd=$1 zeile laenge=0
  status= kopf= rumpf=
  IFS= read -r -t 10 -u "$fd" zeile || return 1
  status=$(cut -d' ' -f2 <<< "${zeile%$'\r'}")
  while IFS= read -r -t 10 -u "$fd" zeile; do
    zeile=${zeile%$'\r'}
    [ -n "$zeile" ] || break
    kopf+="$zeile"$'\n'
    case ${zeile,,} in content-length:*) laenge=${zeile#*: } ;; esac
  done
  [ -n "$status" ] || return 1
  [ "$laenge" -eq 0 ] || IFS= read -r -N "$laenge" -t 10 -u "$fd" rumpf
}

# zu FD: whether the service has closed the connection (its end, or a reset), within 10 s.
zu() {
  local rc=0
  IFS= read -r -t 10 -u "$1" _ || rc=$?
  [ "$rc" -ge 1 ] && [ "$rc" -le 128 ]
}

# kopfzeile NAME: the value of a header line of the last answer read.
kopfzeile() { sed -n "s/^$1: //Ip" <<< "$kopf" | head -n1; }
