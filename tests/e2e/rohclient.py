# Plain HTTP over a raw socket, for what no client library sends: pipelined requests, bytes of any
# value, connections held open or left half-asked, a source address of the test's choosing; and an
# answer read whole within a bound, or the connection's end told apart as a close, a reset or silence.
# SPDX-License-Identifier: MIT
import contextlib
import re
import socket
import time
from datetime import datetime
from types import SimpleNamespace
from zoneinfo import ZoneInfo

import pytest


def anfrage(pfad="/zeit.php", methode="GET", kopf=(), rumpf=b"", schliessen=False):
    zeilen = [f"{methode} {pfad} HTTP/1.1", "Host: x", *kopf]
    zeilen += [f"Content-Length: {len(rumpf)}"] * bool(rumpf) + ["Connection: close"] * schliessen
    return "\r\n".join(zeilen).encode("latin-1") + b"\r\n\r\n" + rumpf


def sekunde(text, zone="UTC"):
    # The time a service's text names, read in `zone`, as a Unix second.
    return int(datetime.strptime(text, "%Y-%m-%d %H:%M:%S").replace(tzinfo=ZoneInfo(zone)).timestamp())


class Verbindung(socket.socket):
    # `ende` says how the last read that got no whole answer ended: "closed", a reset, "timed out".
    def __init__(self, port, zuerst=b"", von=None):
        super().__init__()
        self.bind((von or "127.0.0.1", 0))
        self.settimeout(10)
        self.connect(("127.0.0.1", port))
        self.puffer, self.ende = b"", None
        self.senden(zuerst)

    def senden(self, daten):
        # False when the service has already closed its end (or reset it).
        with contextlib.suppress(OSError):
            self.sendall(daten)
            return True
        return False

    def _bis(self, genug, frist):
        while not genug():
            try:
                self.settimeout(max(frist - time.monotonic(), 0.001))
                stueck = self.recv(65536)
            except OSError as e:
                self.ende = "timed out" if isinstance(e, TimeoutError) else repr(e)
                return False
            self.puffer += stueck
            if not stueck:
                self.ende = "closed"
                return False
        return True

    def lesen(self, sekunden=10):
        # The next answer, whole, within `sekunden`; None when the connection ends or no whole answer comes.
        frist = time.monotonic() + sekunden
        if not self._bis(lambda: b"\r\n\r\n" in self.puffer, frist):
            return None
        kopf = self.puffer.split(b"\r\n\r\n", 1)[0]
        status, *zeilen = kopf.decode("latin-1").split("\r\n")
        felder = {n.lower(): w.strip() for n, _, w in (z.partition(":") for z in zeilen)}
        ende = len(kopf) + 4 + int(felder.get("content-length", 0))
        if not self._bis(lambda: len(self.puffer) >= ende, frist):
            return None
        rumpf, self.puffer = self.puffer[len(kopf) + 4:ende], self.puffer[ende:]
        return SimpleNamespace(status=int(status.split()[1]), kopf=felder, rumpf=rumpf, text=rumpf.decode("latin-1"))

    def fragen(self, daten=anfrage(), sekunden=10):
        self.senden(daten)
        return self.lesen(sekunden)

    def zeit(self, pfad="/zeit.php", zone="UTC", spiel=0):
        # The answer's second began after the request was sent and by the time the answer had come.
        vorher = time.time()
        antwort = self.fragen(anfrage(pfad, schliessen=True), 20)
        nachher = time.time()
        assert antwort and antwort.status == 200 and re.fullmatch(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d", antwort.text), \
            f"{pfad}: {antwort and (antwort.status, antwort.text)} ({self.ende})"
        s = sekunde(antwort.text, zone)
        assert vorher - spiel < s <= nachher + spiel, f"{pfad}: second {s}, asked at {vorher}, answered by {nachher}"
        return antwort, s

    def zu(self, sekunden=10):
        # Whether the service closes its end (or resets it) within `sekunden`, sending nothing before.
        return not self._bis(lambda: self.puffer, time.monotonic() + sekunden) and self.ende != "timed out"


class Rohclient(list):
    def verbinden(self, *art, **benannt):
        self.append(Verbindung(*art, **benannt))
        return self[-1]

    def holen(self, port, pfad="/zeit.php", von=None, **art):
        # One request on a connection of its own, closed after the answer; None without one.
        with Verbindung(port, anfrage(pfad, schliessen=True, **art), von) as v:
            return v.lesen(20)

    def status(self, port, pfad="/zeit.php", **art):
        return getattr(self.holen(port, pfad, **art), "status", None)


@pytest.fixture
def roh():
    r = Rohclient()
    yield r
    for v in r:
        v.close()
