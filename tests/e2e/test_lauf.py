# Whole synchronisation runs of the real Linux programs without a display, against time services on
# loopback, with every direct clock write (by the helper uhrsteller) caught by the interposer.
# SPDX-License-Identifier: MIT
import time

import pytest

from dienste import PASS_ANTWORTEN, PASSFOLGE
from sicher import endet_binnen, prozessbeginn

pytestmark = [pytest.mark.usefixtures("ohne_anzeige"), pytest.mark.ctest(zeitlimit=180, sperren=("loopback_ports",))]

# The dates of a run's eight writes when all four sources answer: a date and a time for each pass.
ALLE_ACHT = [a[:10] for a in PASS_ANTWORTEN for _ in range(2)]


# One run of Dadaviru, which must end by itself; the dates it wrote.
def laufen(umgebung, bau, **optionen):
    umgebung.ausfuehren(bau.dadaviru, zeitlimit=60, **optionen, pruefen=True)
    return [g[:10] for g in umgebung.geschrieben()]


# All four answer: eight writes in pass order, the last answer wins, and the run ends by itself. The override
# file's line may carry a query and a comment after the quoted URL.
def test_vier_quellen_acht_schreibungen(umgebung, dienste, bau):
    dienste.vier_starten(uebersteuerung=lambda url: f'"{url}?eigene",Kommentar')
    assert laufen(umgebung, bau) == ALLE_ACHT, umgebung.geschrieben()
    assert dienste.anfragen() == PASSFOLGE
    assert umgebung.geschrieben()[1::2] == PASS_ANTWORTEN
    # Each by the helper, none by the program itself.
    zeilen = umgebung.uhr_zeilen()
    assert {(z.split()[0], z.split()[5]) for z in zeilen} == {("clock_settime", "uhrsteller")}, zeilen


# A timedated that takes the first call and never answers it: that write waits out its time-out, none after it
# is tried, none goes round it, and the run still ends by itself. What the real timedated and polkit decide is
# tested against them.
def test_schweigender_timedated_haelt_einmal(umgebung, dienste, bus, bau):
    bus.timedated_starten(schweigen=True)
    dienste.vier_starten()
    assert laufen(umgebung, bau) == []
    assert dienste.anfragen() == PASSFOLGE
    aufrufe = bus.timedated_protokoll.read_text()
    assert aufrufe.count(" SetTime ") == 1, aufrufe


def test_ohne_timedated_auf_dem_bus_direkt(umgebung, dienste, bus, bau):
    dienste.vier_starten()
    assert laufen(umgebung, bau) == ALLE_ACHT
    assert umgebung.uhr_zeilen()[0].startswith("clock_settime ")


# A display that is named but cannot be opened counts as none.
def test_tote_anzeige_zaehlt_als_keine(umgebung, dienste, bau):
    dienste.vier_starten()
    assert laufen(umgebung, bau, env={"DISPLAY": ":4711"}) == ALLE_ACHT


# Dadaviru_Autostart without a display still waits for Timer_start, then writes the same.
def test_autostart_ohne_anzeige_wartet_und_schreibt_dasselbe(umgebung, dienste, bau):
    dienste.vier_starten()
    prozess = umgebung.starten(bau.autostart)
    dienste.erste_anfrage_nach_der_wartezeit(prozessbeginn(prozess.pid))
    endet_binnen(prozess, "Dadaviru_Autostart", 60)
    geschrieben = umgebung.geschrieben()
    assert [g[:10] for g in geschrieben] == ALLE_ACHT and geschrieben[-1] == PASS_ANTWORTEN[3], geschrieben


# Without an override file pass 3 fetches nothing; a failed pass writes nothing.
def test_ausgefallene_und_fehlende_quellen_uebersprungen(umgebung, dienste, bau):
    dienste.eingebaut(0, "--status", "500", "--body", PASS_ANTWORTEN[0])
    dienste.eingebaut(1, "--body", PASS_ANTWORTEN[1])
    assert len(laufen(umgebung, bau)) == 2 and umgebung.geschrieben()[-1] == PASS_ANTWORTEN[1], umgebung.geschrieben()
    assert dienste.anfragen() == ["GET /zeit.php", "GET /zeit.php"]


def test_keine_quelle_keine_schreibung(umgebung, bau):
    (umgebung.arbeit / "dadaviru.txt").write_text("http://127.0.0.4:1/zeit.php\n")
    assert laufen(umgebung, bau) == []


# Without the interposer the dropped right makes both writes fail, silently.
def test_ohne_attrappe_aendert_sich_nichts(umgebung, dienste, bau):
    dienste.eingebaut(0, "--body", PASS_ANTWORTEN[0])
    laufen(umgebung, bau, attrappe=False)
    assert time.gmtime().tm_year != 2001, "the clock changed"
