# Whole synchronisation runs of the real Linux programs without a display, against time services on
# loopback, with every direct clock write (by the helper uhrsteller) caught by the interposer.
# SPDX-License-Identifier: MIT
import time

import pytest

from dienste import PASS_ANTWORTEN, PASSFOLGE
from sicher import endet_binnen, prozessbeginn

lauf = pytest.mark.ctest(zeitlimit=180, sperren=("loopback_ports",))
pytestmark = pytest.mark.usefixtures("ohne_anzeige")

# The dates of a run's eight writes when all four sources answer: a date and a time for each pass.
ALLE_ACHT = [a[:10] for a in PASS_ANTWORTEN for _ in range(2)]


def laufen(umgebung, bau, **optionen):
    ergebnis = umgebung.ausfuehren(bau.dadaviru, zeitlimit=60, **optionen)
    assert ergebnis.returncode == 0, f"the run exited with {ergebnis.returncode}: {ergebnis.stderr}"


def daten(umgebung):
    return [g[:10] for g in umgebung.geschrieben()]


@lauf
def test_vier_quellen_acht_schreibungen(umgebung, dienste, bau):
    """All four answer: eight writes in pass order, the last answer wins, and the run ends by itself.
    The override file's line may carry a query and a comment after the quoted URL."""
    dienste.vier_starten(uebersteuerung=lambda url: f'"{url}?eigene",Kommentar')
    laufen(umgebung, bau)
    assert dienste.anfragen() == PASSFOLGE
    geschrieben = umgebung.geschrieben()
    assert len(geschrieben) == 8, geschrieben
    assert [g[:10] for g in geschrieben] == ALLE_ACHT and geschrieben[1::2] == PASS_ANTWORTEN, geschrieben
    # Each by the helper, none by the program itself.
    zeilen = umgebung.uhr_protokoll.read_text().splitlines()
    assert {(z.split()[0], z.split()[5]) for z in zeilen} == {("clock_settime", "uhrsteller")}, zeilen


@lauf
def test_schweigender_timedated_haelt_einmal(umgebung, dienste, bus, bau):
    """A timedated that takes the first call and never answers it: that write waits out its time-out,
    none after it is tried, none goes round it, and the run still ends by itself. What the real
    timedated and polkit decide is tested against them."""
    bus.timedated_starten(schweigen=True)
    dienste.vier_starten()
    laufen(umgebung, bau)
    assert dienste.anfragen() == PASSFOLGE
    aufrufe = bus.timedated_protokoll.read_text()
    assert aufrufe.count(" SetTime ") == 1 and umgebung.geschrieben() == [], aufrufe


@lauf
def test_ohne_timedated_auf_dem_bus_direkt(umgebung, dienste, bus, bau):
    dienste.vier_starten()
    laufen(umgebung, bau)
    assert daten(umgebung) == ALLE_ACHT
    assert umgebung.uhr_protokoll.read_text().startswith("clock_settime ")


@lauf
def test_tote_anzeige_zaehlt_als_keine(umgebung, dienste, bau):
    """A display that is named but cannot be opened counts as none."""
    dienste.vier_starten()
    laufen(umgebung, bau, env={"DISPLAY": ":4711"})
    assert daten(umgebung) == ALLE_ACHT


@lauf
def test_autostart_ohne_anzeige_wartet_und_schreibt_dasselbe(umgebung, dienste, bau):
    """Dadaviru_Autostart without a display still waits for Timer_start, then writes the same."""
    dienste.vier_starten()
    prozess = umgebung.starten(bau.autostart)
    beginn = prozessbeginn(prozess.pid)
    dienste.erste_anfrage_nach_der_wartezeit(beginn)
    endet_binnen(prozess, "Dadaviru_Autostart", 60)
    assert daten(umgebung) == ALLE_ACHT and umgebung.geschrieben()[-1] == PASS_ANTWORTEN[3], umgebung.geschrieben()


@lauf
def test_ausgefallene_und_fehlende_quellen_uebersprungen(umgebung, dienste, bau):
    """Without an override file pass 3 fetches nothing; a failed pass writes nothing."""
    for host, optionen in zip(bau.hosts, [("--status", "500", "--body", PASS_ANTWORTEN[0]),
                                          ("--body", PASS_ANTWORTEN[1])]):
        adresse, port = host.rsplit(":", 1)
        dienste.starten(*optionen, adresse=adresse, port=port)
    laufen(umgebung, bau)
    assert dienste.anfragen() == ["GET /zeit.php", "GET /zeit.php"]
    geschrieben = umgebung.geschrieben()
    assert len(geschrieben) == 2 and geschrieben[-1] == PASS_ANTWORTEN[1], geschrieben


@lauf
def test_keine_quelle_keine_schreibung(umgebung, bau):
    """Every source dead: no write, and the run still ends normally."""
    (umgebung.arbeit / "dadaviru.txt").write_text("http://127.0.0.4:1/zeit.php\n")
    laufen(umgebung, bau)
    assert umgebung.geschrieben() == []


@lauf
def test_ohne_attrappe_aendert_sich_nichts(umgebung, dienste, bau):
    """Without the interposer the dropped right makes both writes fail, silently."""
    adresse, port = bau.hosts[0].rsplit(":", 1)
    dienste.starten("--body", PASS_ANTWORTEN[0], adresse=adresse, port=port)
    laufen(umgebung, bau, attrappe=False)
    assert time.gmtime().tm_year != 2001, "the clock changed"
