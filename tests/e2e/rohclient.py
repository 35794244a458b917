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
    zeilen = [f"{methode} {pfad} HTTP/1.1", "Host: x", *kopf]
    if rumpf:
        zeilen.append(f"Content-Length: {len(rumpf)}")
    if schliessen:
        zeilen.append("Connection: close")
    return "\r\n".join(zeilen).encode("latin-1") + b"\r\n\r\n" + rumpf


class Antwort:
    def __init__(self, status, kopfzeilen, rumpf):
        self.status, self.kopfzeilen, self.rumpf = status, kopfzeilen, rumpf

    def kopf(self, name):
        """The value of the first header line of that name, or None."""
        for zeile in self.kopfzeilen:
            n, _, wert = zeile.partition(":")
            if n.strip().lower() == name.lower():
                return wert.strip()
        return None

    @property
    def text(self):
        return self.rumpf.decode("latin-1")

    def sekunde(self, zone="UTC"):
        """The time the body names, read in `zone`, as a Unix second."""
        return int(datetime.strptime(self.text, "%Y-%m-%d %H:%M:%S").replace(tzinfo=ZoneInfo(zone)).timestamp())

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
        self.puffer = b""
        self.ende = None
        self.beginn = time.monotonic()

    def senden(self, daten):
        """False when the service has already closed its end (or reset it)."""
        try:
            self.sock.sendall(daten if isinstance(daten, bytes) else daten.encode("latin-1"))
            return True
        except OSError:
            return False

    def _mehr(self, frist):
        """More bytes into the buffer before `frist` (monotonic); False at the end, a reset or the frist."""
        rest = frist - time.monotonic()
        if rest <= 0:
            self.ende = "timed out"
            return False
        self.sock.settimeout(rest)
        try:
            stueck = self.sock.recv(65536)
        except socket.timeout:
            self.ende = "timed out"
            return False
        except OSError as e:
            self.ende = repr(e)
            return False
        if not stueck:
            self.ende = "closed"
            return False
        self.puffer += stueck
        return True

    def lesen(self, sekunden=10):
        """The next answer, whole, within `sekunden`; None when the connection ends or no whole answer comes."""
        frist = time.monotonic() + sekunden
        while b"\r\n\r\n" not in self.puffer:
            if not self._mehr(frist):
                return None
        kopf, _, self.puffer = self.puffer.partition(b"\r\n\r\n")
        zeilen = kopf.decode("latin-1").split("\r\n")
        try:
            status = int(zeilen[0].split()[1])
        except (IndexError, ValueError):
            self.ende = f"not an answer: {zeilen[0]!r}"
            return None
        antwort = Antwort(status, zeilen[1:], b"")
        laenge = int(antwort.kopf("Content-Length") or 0)
        while len(self.puffer) < laenge:
            if not self._mehr(frist):
                return None
        antwort.rumpf, self.puffer = self.puffer[:laenge], self.puffer[laenge:]
        return antwort

    def zu(self, sekunden=10):
        """Whether the service closes its end (or resets it) within `sekunden` and sends nothing before."""
        if self.puffer:
            return False
        frist = time.monotonic() + sekunden
        if self._mehr(frist):
            return False
        return self.ende != "timed out"

    def gesamt(self, sekunden=10):
        """Everything until the service closes, and how it closed."""
        frist = time.monotonic() + sekunden
        while self._mehr(frist):
            pass
        return self.puffer, self.ende

    def schliessen(self):
        self.sock.close()


class Rohclient:
    """Connections for one test; all are closed when it ends."""

    def __init__(self):
        self.offen = []

    def verbinden(self, port, adresse="127.0.0.1", von=None):
        v = Verbindung(port, adresse, von)
        self.offen.append(v)
        return v

    def holen(self, port, pfad="/zeit.php", von=None, sekunden=20, **art):
        """One request on a connection of its own, closed after the answer; None without one."""
        v = self.verbinden(port, von=von)
        try:
            v.senden(anfrage(pfad, schliessen=True, **art))
            return v.lesen(sekunden)
        finally:
            v.schliessen()

    def status(self, port, pfad="/zeit.php", **art):
        antwort = self.holen(port, pfad, **art)
        return antwort and antwort.status

    def schliessen(self):
        for v in self.offen:
            v.schliessen()
        self.offen.clear()


@pytest.fixture
def roh():
    r = Rohclient()
    yield r
    r.schliessen()
