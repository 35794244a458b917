# Plain HTTP over a raw socket, for what no client library sends: pipelined requests, bytes of any
# value, connections held open or left half-asked, a source address of the test's choosing; and an
# answer read whole within a bound, or the connection's end told apart as a close, a reset or silence.
# SPDX-License-Identifier: MIT
import socket
import time
from datetime import datetime
from email.utils import parsedate_to_datetime
from zoneinfo import ZoneInfo

import pytest


def anfrage(pfad="/zeit.php", methode="GET", kopf=(), rumpf=b"", schliessen=False):
    """One request's bytes; `kopf` holds further header lines, "Name: value" each."""
    zeilen = [f"{methode} {pfad} HTTP/1.1", "Host: x", *kopf, *([f"Content-Length: {len(rumpf)}"] if rumpf else []),
              *(["Connection: close"] if schliessen else [])]
    return "\r\n".join(zeilen).encode("latin-1") + b"\r\n\r\n" + rumpf


def sekunde(text, zone="UTC"):
    """The time a service's text names, read in `zone`, as a Unix second."""
    return int(datetime.strptime(text, "%Y-%m-%d %H:%M:%S").replace(tzinfo=ZoneInfo(zone)).timestamp())


class Antwort:
    def __init__(self, status, kopfzeilen, rumpf):
        self.status, self.kopfzeilen, self.rumpf = status, kopfzeilen, rumpf
        self.text = rumpf.decode("latin-1")

    def kopf(self, name):
        """The value of the first header line of that name, or None."""
        return next((w.strip() for n, _, w in (z.partition(":") for z in self.kopfzeilen)
                     if n.strip().lower() == name.lower()), None)

    def datum(self):
        """The Date header as a Unix second."""
        return int(parsedate_to_datetime(self.kopf("Date")).timestamp())


class Verbindung:
    """One connection to a service. `ende` says how the last read that got no whole answer ended."""

    def __init__(self, port, adresse="127.0.0.1", von=None):
        self.sock = socket.socket(socket.AF_INET6 if ":" in adresse else socket.AF_INET)
        if von:
            self.sock.bind((von, 0))
        self.sock.settimeout(10)
        self.sock.connect((adresse, port))
        self.puffer, self.ende = b"", None

    def senden(self, daten):
        """False when the service has already closed its end (or reset it)."""
        try:
            self.sock.sendall(daten)
            return True
        except OSError:
            return False

    def _mehr(self, frist):
        """More bytes into the buffer before `frist` (monotonic); False at the end, a reset or the frist."""
        try:
            self.sock.settimeout(max(frist - time.monotonic(), 0.001))
            stueck = self.sock.recv(65536)
        except socket.timeout:
            stueck, self.ende = None, "timed out"
        except OSError as e:
            stueck, self.ende = None, repr(e)
        if stueck == b"":
            self.ende = "closed"
        self.puffer += stueck or b""
        return bool(stueck)

    def lesen(self, sekunden=10):
        """The next answer, whole, within `sekunden`; None when the connection ends or no whole answer comes."""
        frist = time.monotonic() + sekunden
        while b"\r\n\r\n" not in self.puffer:
            if not self._mehr(frist):
                return None
        kopf, _, self.puffer = self.puffer.partition(b"\r\n\r\n")
        status, *zeilen = kopf.decode("latin-1").split("\r\n")
        antwort = Antwort(int(status.split()[1]), zeilen, b"")
        laenge = int(antwort.kopf("Content-Length") or 0)
        while len(self.puffer) < laenge:
            if not self._mehr(frist):
                return None
        rumpf, self.puffer = self.puffer[:laenge], self.puffer[laenge:]
        return Antwort(antwort.status, zeilen, rumpf)

    def zu(self, sekunden=10):
        """Whether the service closes its end (or resets it) within `sekunden`, sending nothing before."""
        return not self.puffer and not self._mehr(time.monotonic() + sekunden) and self.ende != "timed out"


class Rohclient:
    """Connections for one test; all are closed when it ends."""

    def __init__(self):
        self.offen = []

    def verbinden(self, port, von=None):
        self.offen.append(Verbindung(port, von=von))
        return self.offen[-1]

    def holen(self, port, pfad="/zeit.php", von=None, **art):
        """One request on a connection of its own, closed after the answer; None without one."""
        v = self.verbinden(port, von)
        v.senden(anfrage(pfad, schliessen=True, **art))
        antwort = v.lesen(20)
        v.sock.close()
        return antwort

    def status(self, port, pfad="/zeit.php", **art):
        antwort = self.holen(port, pfad, **art)
        return antwort and antwort.status


@pytest.fixture
def roh():
    r = Rohclient()
    yield r
    for v in r.offen:
        v.sock.close()
