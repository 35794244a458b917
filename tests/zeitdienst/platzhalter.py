#!/usr/bin/python3
# Holds connections to the time service, as many from each of the given addresses as asked, and opens a
# new one whenever the service closes one, as a client that wants to keep everyone else out would:
# with "kopf", their request heads never end; with "fragen", each asks again as soon as its answer is
# in, so one answer of each is always held. Ends after two minutes at the latest.
# Usage: platzhalter.py kopf|fragen PORT N ADDR...
# SPDX-License-Identifier: MIT
import re
import selectors
import socket
import sys
import time

art, port, je_adresse, adressen = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4:]
ende, offen = time.monotonic() + 120, {a: {} for a in adressen}
auswahl = selectors.DefaultSelector()
ANFRAGE = b"GET /zeit.php HTTP/1.1\r\nHost: x\r\n" + (b"X-Halten: " if art == "kopf" else b"\r\n")


def oeffnen(adresse):
    s = None
    try:
        s = socket.create_connection(("127.0.0.1", port), source_address=(adresse, 0))
        s.sendall(ANFRAGE)
    except OSError:
        # A connection the service has already closed again is no place held.
        if s:
            s.close()
        return
    offen[adresse][s] = b""
    auswahl.register(s, selectors.EVENT_READ, adresse)


def schliessen(s, adresse):
    auswahl.unregister(s)
    del offen[adresse][s]
    s.close()


while time.monotonic() < ende:
    for a in adressen:
        for _ in range(je_adresse - len(offen[a])):
            oeffnen(a)
    for schluessel, _ in auswahl.select(0.05):
        s, a = schluessel.fileobj, schluessel.data
        try:
            stueck = s.recv(4096)
        except OSError:
            stueck = b""
        # A head that never ends gets no answer: anything that comes is the end.
        if not stueck or art == "kopf":
            schliessen(s, a)
            continue
        puffer = offen[a][s] + stueck
        while (kopf := puffer.find(b"\r\n\r\n")) >= 0:
            laenge = re.search(rb"(?i)\r\ncontent-length: *(\d+)", puffer[:kopf])
            if len(puffer) < (ganz := kopf + 4 + int(laenge[1] if laenge else 0)):
                break
            puffer = puffer[ganz:]
            try:
                s.sendall(ANFRAGE)
            except OSError:
                break
        offen[a][s] = puffer
