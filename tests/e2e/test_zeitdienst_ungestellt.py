# The time service on a host whose clock NTP does not keep: 503 with Retry-After instead of a time,
# each change of the kernel's verdict logged once with its reason, and --serve-unsynchronised serving
# all the same. The verdict comes from the clock interposer, never from this machine's NTP state.
# SPDX-License-Identifier: MIT
import pytest

from dienste import attrappe_sagen
from sicher import erwarten

VERLOREN = "not known to be right"
GRUND = f"{VERLOREN}: the kernel reports it unsynchronised (TIME_ERROR STA_UNSYNC, maximum error 16.000 s)"
GESTELLT = "the clock is synchronised (maximum error 0.001 s)"


@pytest.fixture
def ntp(umgebung, monkeypatch):
    # Tells the interposer, and through it the service, whether NTP keeps the clock; at first it does not.
    datei = umgebung.arbeit / "ntp"
    monkeypatch.setenv("UHRATTRAPPE_NTP", str(datei))
    attrappe_sagen(datei, "unsynchron")
    return lambda zustand: attrappe_sagen(datei, zustand)


def test_ungestellt_503(dienste, roh, ntp):
    d = dienste.zeitdienst(attrappe=True)
    antwort = roh.holen(d.port)
    assert (antwort.status, antwort.kopf.get("retry-after"), antwort.rumpf) == (503, "60", b""), "503, asked back later"
    erwarten(lambda: GRUND in d.ausgabe.read_text(), 20, "the reason in the log")
    # The access log's line is written after the answer.
    erwarten(lambda: '"GET /zeit.php HTTP/1.1" 503 -\n' in d.protokoll.read_text(), 20, "503 in the access log")


def test_jeder_wechsel_einmal_gemeldet(dienste, roh, ntp):
    d = dienste.zeitdienst(attrappe=True)
    assert roh.status(d.port) == 503, "status before the clock was synchronised"
    ntp("synchron")
    erwarten(lambda: roh.status(d.port) == 200, 20, "200 after the clock was synchronised")
    ntp("unsynchron")
    erwarten(lambda: roh.status(d.port) == 503, 20, "503 after the clock lost its synchronisation")
    erwarten(lambda: d.ausgabe.read_text().count(VERLOREN) >= 2, 20, "the clock lost, logged again")
    roh.status(d.port)
    meldungen = d.ausgabe.read_text()
    assert (meldungen.count(VERLOREN), meldungen.count(GESTELLT)) == (2, 1), "lines for the clock lost, synchronised"


def test_dennoch_bedient(dienste, roh, ntp):
    d = dienste.zeitdienst("--serve-unsynchronised", attrappe=True)
    assert roh.status(d.port) == 200, "status"
    assert VERLOREN not in d.ausgabe.read_text(), "lines"
