#!/usr/bin/python3
# Holds connections to the time service whose request heads never end, as many from each of the given
# addresses as asked, and opens a new one whenever the service closes one, as a client that wants to
# keep everyone else out would. Ends after two minutes at the latest.
# Usage: koepfe.py PORT N ADDR...
# SPDX-License-Identifier: MIT
import selectors
import socket
import sys
import time

port, je_adresse, adressen = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3:]
ende, offen = time.monotonic() + 120, {a: [] for a in adressen}
auswahl = selectors.DefaultSelector()


def oeffnen(adresse):
    s = None
    try:
        s = socket.create_connection(("127.0.0.1", port), source_address=(adresse, 0))
        s.sendall(b"GET /zeit.php HTTP/1.1\r\nHost: x\r\nX-Halten: ")
    except OSError:
        # A connection the service has already closed again is no place held.
        if s:
            s.close()
        return
    offen[adresse].append(s)
    auswahl.register(s, selectors.EVENT_READ, adresse)


while time.monotonic() < ende:
    for a in adressen:
        for _ in range(je_adresse - len(offen[a])):
            oeffnen(a)
    # A head that never ends gets no answer: anything that comes is the end.
    for schluessel, _ in auswahl.select(0.05):
        auswahl.unregister(schluessel.fileobj)
        offen[schluessel.data].remove(schluessel.fileobj)
        schluessel.fileobj.close()
