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
    """Tells the interposer, and through it the service, whether NTP keeps the clock."""
    datei = umgebung.arbeit / "ntp"
    monkeypatch.setenv("UHRATTRAPPE_NTP", str(datei))
    return lambda zustand: attrappe_sagen(datei, zustand)


def meldungen(d, text):
    return d.ausgabe.read_text().count(text)


@pytest.mark.ctest(zeitlimit=120)
def test_ungestellt_503(dienste, roh, ntp):
    ntp("unsynchron")
    d = dienste.zeitdienst(attrappe=True)
    antwort = roh.holen(d.port)
    assert (antwort.status, antwort.kopf("Retry-After"), antwort.rumpf) == (503, "60", b""), "503, asked back later"
    erwarten(lambda: GRUND in d.ausgabe.read_text(), 20, "the reason in the log")
    # The access log's line is written after the answer.
    erwarten(lambda: '"GET /zeit.php HTTP/1.1" 503 -\n' in d.protokoll.read_text(), 20, "503 in the access log")


@pytest.mark.ctest(zeitlimit=120)
def test_jeder_wechsel_einmal_gemeldet(dienste, roh, ntp):
    ntp("unsynchron")
    d = dienste.zeitdienst(attrappe=True)
    assert roh.status(d.port) == 503, "status before the clock was synchronised"
    ntp("synchron")
    erwarten(lambda: roh.status(d.port) == 200, 20, "200 after the clock was synchronised")
    ntp("unsynchron")
    erwarten(lambda: roh.status(d.port) == 503, 20, "503 after the clock lost its synchronisation")
    erwarten(lambda: meldungen(d, VERLOREN) >= 2, 20, "the clock lost, logged again")
    roh.status(d.port)
    assert meldungen(d, VERLOREN) == 2, "lines for the clock lost"
    assert meldungen(d, GESTELLT) == 1, "lines for the clock synchronised"


@pytest.mark.ctest(zeitlimit=120)
def test_dennoch_bedient(dienste, roh, ntp):
    ntp("unsynchron")
    d = dienste.zeitdienst("--serve-unsynchronised", attrappe=True)
    assert roh.status(d.port) == 200, "status"
    assert meldungen(d, VERLOREN) == 0, "lines"
