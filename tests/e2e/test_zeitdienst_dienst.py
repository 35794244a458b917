# The time service on loopback: its answers and their texts, its options, its port, socket
# activation, and the bounds of a request.
# SPDX-License-Identifier: MIT
import re
import time
from email.utils import parsedate_to_datetime

from sicher import erwarten

CLF = re.compile(r'127\.0\.0\.1 - - \[\d{2}/[A-Z][a-z]{2}/\d{4}:[0-9:]{8} \+0545\] '
                 r'"[A-Z]+ \S+ HTTP/1\.1" \d{3} (\d+|-)')
ZONE = "Asia/Kathmandu"


def test_zeit_zum_takt_in_der_zone(dienste, roh):
    d = dienste.zeitdienst("--zone", ZONE)
    for pfad in ("/", "/zeit.php"):
        # The service chose a second that began after the request was sent, and had begun when the answer came.
        antwort, s = roh.verbinden(d.port).zeit(pfad, ZONE)
        assert {n: antwort.kopf[n].lower() for n in ("content-type", "cache-control")} == \
            {"content-type": "text/plain; charset=utf-8", "cache-control": "no-store"}, pfad
        assert parsedate_to_datetime(antwort.kopf["date"]).timestamp() == s, f"Date header of {pfad}"
    for pfad in ("/andere", "/zeitXphp", "/zeit.php/mehr"):
        assert roh.status(d.port, pfad) == 404, f"status of {pfad}"
    assert roh.status(d.port, methode="POST", rumpf=b"x") == 404, "status of POST"
    # The log line is written after the answer: the client has it before the service has logged it, and
    # under load the next connection's line may come first.
    erwarten(lambda: len(d.anfragen()) >= 6, 20, "six requests in the log")
    assert sorted(d.anfragen()) == sorted(["GET /", "GET /zeit.php", "GET /andere", "GET /zeitXphp",
                                           "GET /zeit.php/mehr", "POST /zeit.php"]), "request log"
    zeilen = d.protokoll.read_text().splitlines()
    assert all(map(CLF.fullmatch, zeilen)), f"log lines in Common Log Format: {zeilen}"


def test_pause_zwischen_verbinden_und_fragen(dienste, roh):
    # The kernel's first round trip must be the handshake's: one taken from the SYN-ACK to the request
    # would include the pause, and the answer would leave up to the lead's bound early.
    d = dienste.zeitdienst("--zone", ZONE)
    for _ in range(2):
        wartend = roh.verbinden(d.port)
        time.sleep(0.7)  # the client's own pause, as a pooled connection has
        wartend.zeit(zone=ZONE)


def test_sofort_die_naechste_sekunde(dienste, roh):
    roh.verbinden(dienste.zeitdienst("--sofort", "--zone", "UTC").port).zeit("/", spiel=0.5)


def test_optionen(dienste):
    lauf = dienste.zeitdienst_lauf
    fremd = lauf("--body", "x")
    assert (fremd.returncode, re.findall(r"^usage:", fremd.stderr, re.M)) == (2, ["usage:"]), \
        "the tests' fault modes are not the service's"
    hilfe = lauf("--help").stdout
    for option in ("bind", "port", "zone", "sofort", "log", "user", "max-connections", "max-per-address",
                   "max-per-network", "header-timeout", "max-header", "threads", "version"):
        assert re.search(rf"^  --{option} ", hilfe, re.M), f"--help does not explain --{option}"
    for falsch in ("--zone Mars/Olympus", "--port 70000", "--max-per-address 0", "--threads x"):
        assert lauf(*falsch.split()).returncode == 2, falsch


def test_port_belegt_oder_von_systemd(dienste, roh, bau, monkeypatch):
    d = dienste.zeitdienst()
    belegt = dienste.zeitdienst_lauf("--bind", "127.0.0.1", "--port", d.port)
    assert (belegt.returncode, "already in use" in belegt.stderr) == (1, True), f"taken port: {belegt.stderr}"
    monkeypatch.setenv("UEBERGEBEN_AN", bau.zeitdienst)
    d = dienste.zeitdienst("--sofort", programm=f"{bau.quellen}/tests/zeitdienst/uebergeben.py")
    assert roh.status(d.port) == 200, "socket from systemd"


def test_grenzen_einer_anfrage(dienste, roh):
    d = dienste.zeitdienst("--header-timeout", "1000")
    # A head that never ends, one byte at a time: cut off, and not before its time was up.
    vorher = time.monotonic()
    langsam = roh.verbinden(d.port, b"GET / HTTP/1.1\r\nHost: x\r\nX-")
    erwarten(lambda: not langsam.senden(b"x") or langsam.zu(0.2), 30, "a head that never ends cut off")
    assert time.monotonic() - vorher >= 1, f"a slow head was cut off after {time.monotonic() - vorher:.3f} s"
    assert roh.status(d.port, "/", kopf=["X-Lang: " + "a" * 9000]) == 431, "head over the cap"
