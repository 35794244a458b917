# The time service against clients that take more than their share: one address holding all its
# places, kept-alive connections idling in places others need, a few addresses holding every place
# with heads they never end or with an answer always held, and requests pipelined by the dozen; and
# every place back, however its connection ended.
# Mostly one event loop, so that connections are taken in the order they were made.
# SPDX-License-Identifier: MIT
import subprocess

import pytest

from rohclient import anfrage
from sicher import warten_auf

HALTEN = ("--sofort", "--header-timeout", "60000")
# A request begun: its connection holds its place until it goes on.
BEGONNEN = b"GET /zeit.php HTTP/1.1\r\n"


def bedient(v, was, daten=anfrage("/")):
    antwort = v.fragen(daten)
    assert antwort and antwort.status == 200, f"{was}: {antwort and antwort.status} ({v.ende})"
    return v


def test_eine_adresse_an_ihrer_grenze(dienste, roh):
    d = dienste.zeitdienst("--threads", "1", "--max-per-address", "2", *HALTEN)
    roh.verbinden(d.port, BEGONNEN)
    roh.verbinden(d.port, BEGONNEN)
    assert roh.verbinden(d.port, anfrage("/")).zu(), \
        "a third connection from one address was let in beyond --max-per-address 2"
    assert roh.status(d.port, "/", von="127.0.0.2") == 200, "another address beside it"


def test_der_laengste_kopf_weicht(dienste, roh):
    d = dienste.zeitdienst("--threads", "1", "--max-connections", "2", *HALTEN)
    b1, b2 = roh.verbinden(d.port, BEGONNEN), roh.verbinden(d.port, BEGONNEN)
    assert roh.status(d.port, "/") == 200, "a new client"
    assert b1.zu(), "the connection longest at its head was not closed for the new client"
    bedient(b2, "the younger head, closed too?", b"Host: x\r\n\r\n")


def test_ruhende_verbindung_weicht(dienste, roh):
    d = dienste.zeitdienst("--threads", "1", "--max-connections", "3", *HALTEN)
    # Kept-alive connections that have had their answers and wait idle.
    r1, r2 = (bedient(roh.verbinden(d.port), "a new kept-alive connection") for _ in range(2))
    roh.verbinden(d.port, BEGONNEN)
    bedient(roh.verbinden(d.port), "a new client")
    assert r1.zu(), "the longest idle connection was not closed for the new client"
    bedient(r2, "the other idle connection, closed too?")


@pytest.mark.parametrize("art", ["kopf", "fragen"])
def test_fuenf_adressen_halten_alle_plaetze(dienste, roh, umgebung, bau, art):
    # With "fragen" every connection asks again as soon as its answer is in, so each always has one
    # held, and only the held answers can give way: the default service, not --sofort.
    d = dienste.zeitdienst("--threads", "2", "--max-connections", "10", "--max-per-address", "2",
                           *HALTEN * (art == "kopf"))
    haelter = [f"127.0.0.{i}" for i in range(2, 7)]
    umgebung.starten("/usr/bin/python3", f"{bau.quellen}/tests/zeitdienst/platzhalter.py", art, d.port, 2,
                     *haelter, attrappe=False)

    # The service's ends of the five addresses' connections: all ten places, and no other connection open.
    def alle_gehalten():
        enden = subprocess.run(["ss", "-Htn", "state", "established", f"( sport = :{d.port} )"],
                               capture_output=True, text=True, check=True).stdout.splitlines()
        return len(enden) == 10 and all(any(f" {a}:" in e for a in haelter) for e in enden)

    # A connection on its first request never gives way, so theirs must have been answered once.
    assert art == "kopf" or warten_auf(30, lambda: len(d.anfragen()) >= 10), "the five addresses had no answers"
    for versuch in range(1, 6):
        assert warten_auf(30, alle_gehalten), f"the five addresses did not take every place before try {versuch}"
        assert roh.status(d.port, "/", von="127.0.0.7") == 200, f"the sixth address, try {versuch}"


def test_gereihte_anfragen(dienste, roh):
    d = dienste.zeitdienst("--threads", "1")
    # All in one write, so that they arrive in one piece.
    p = roh.verbinden(d.port, b"".join(anfrage(pfad) for pfad in ("/zeit.php", "/nichts", "/")))
    antworten = [p.lesen() for _ in range(3)]
    assert all(antworten), f"pipelined requests: only {sum(map(bool, antworten))} answers ({p.ende})"
    assert [a.status for a in antworten] == [200, 404, 200], "answers in the order asked"
    assert len({a.kopf["date"] for a in antworten}) == 1, "one tick for all three"
    p.senden(b"".join(anfrage(f"/?{i}") for i in range(1, 21)))
    antworten = list(iter(p.lesen, None))
    assert len(antworten) == 8 and not p.puffer and p.ende != "timed out", \
        f"{len(antworten)} answers to 20 pipelined requests, then {p.ende}; 8 and the connection closed expected"


def test_jeder_platz_kommt_zurueck(dienste, roh):
    d = dienste.zeitdienst("--threads", "2", "--max-connections", "3", "--header-timeout", "1000")

    # Three new clients at once, each on its first request, held to the tick: none of them may give way
    # to another, so each needs a place of its own. One that came while the service was still sending a
    # kept-alive connection its answer, before that connection waited idle, may have found no place
    # yet, and asks again; a place that never came back fails every time.
    def drei_neue(nach):
        neue = [roh.verbinden(d.port, anfrage(schliessen=True)) for _ in range(3)]
        for v in neue:
            for _ in range(3):
                if (a := v.lesen(20)) or v.ende == "timed out":
                    break
                v = roh.verbinden(d.port, anfrage(schliessen=True))
            assert a and a.status == 200, f"after {nach}: {a and a.status} ({v.ende})"

    alte = [bedient(roh.verbinden(d.port), "a kept-alive connection") for _ in range(3)]
    drei_neue("three idle connections gave way")
    assert all(v.zu() for v in alte), "an idle connection was not closed for a new client"
    alte = [roh.verbinden(d.port, BEGONNEN) for _ in range(3)]
    assert all(v.zu() for v in alte), "a head was not closed at its time-out"
    drei_neue("three heads timed out")
    for v in [roh.verbinden(d.port, BEGONNEN) for _ in range(3)]:
        v.close()
    drei_neue("three clients closed their connections")
    # Ended with connections held, idle and at their heads: nothing left over that fails the end. (The
    # last three clients' places may take a moment to come back after their answers.)
    roh.verbinden(d.port, anfrage())
    assert warten_auf(20, lambda: getattr(roh.verbinden(d.port).fragen(), "status", None) == 200), \
        "no kept-alive connection was served before the end"
    roh.verbinden(d.port, BEGONNEN)
    d.prozess.terminate()
    assert d.prozess.wait(30) == 0, f"the service did not end cleanly: {d.ausgabe.read_text()}"
