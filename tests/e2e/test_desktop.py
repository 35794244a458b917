# The desktop scenarios, written once for both platforms: the Linux programs on Xvfb, every clock
# write caught by the interposer, and the Windows programs under Wine, every clock write refused by
# Wine and counted in its report. When each program shows its window, what it looks like, when the
# requests go out, and how the programs end.
# SPDX-License-Identifier: MIT
import time

import pytest

from anzeige import LAVENDEL
from dienste import PASS_ANTWORTEN, PASSFOLGE
from sicher import endet_binnen, erwarten, prozessbeginn, warten_auf
from wine import VERWEIGERT, unter_wine

LINUX = pytest.param("linux", marks=pytest.mark.ctest(zeitlimit=300, sperren=("loopback_ports",)))
beide = pytest.mark.parametrize("plattform", [LINUX, unter_wine(sperren=("loopback_ports",))])

# How long before Timer_start's first tick can fall due a close must have been sent to count: the
# program then has that long to take the close before the tick, which no load here comes near.
VORSPRUNG_S = 2


# The platform's two programs and the clock writes they made: on Linux those the interposer caught,
# under Wine those Wine refused.
class Programme:
    def __init__(self, umgebung, bau, wine):
        self.umgebung, self.wine, self.dadaviru, self.autostart = umgebung, wine, bau.dadaviru, bau.autostart
        # Wine's report, where each clock write it refuses is a line on its sync channel.
        self.bericht = umgebung.arbeit / "wine.log"

    def starten(self, programm):
        if self.wine:
            with open(self.bericht, "a") as aus:
                return self.umgebung.starten("wine", programm, env={"WINEDEBUG": "-all,err+sync"}, attrappe=False,
                                             fehlerausgabe=aus)
        return self.umgebung.starten(programm)

    def schreibungen(self):
        return self.bericht.read_text().count(VERWEIGERT) if self.wine else len(self.umgebung.geschrieben())

    # Four requests in pass order, two clock writes for each; on Linux the second the answer itself.
    def in_passfolge(self, dienste):
        assert dienste.anfragen() == PASSFOLGE
        assert self.schreibungen() == 8, self.bericht.read_text() if self.wine else self.umgebung.geschrieben()
        assert self.wine or self.umgebung.geschrieben()[1::2] == PASS_ANTWORTEN, self.umgebung.geschrieben()

    def neu(self):
        self.umgebung.uhr_protokoll.unlink(missing_ok=True)
        self.bericht.write_text("")


@pytest.fixture
def programme(plattform, request, umgebung, bau, anzeige):
    # Wine is requested after the display, so that Wine's server has ended before the display does.
    return Programme(umgebung, bau, request.getfixturevalue("wine") if plattform == "windows" else None)


# Dadaviru: the window stays hidden while the run works, and the program ends by itself after it.
@beide
def test_dadaviru_laeuft_vor_dem_fenster(programme, dienste, anzeige):
    dienste.vier_starten(700)
    prozess = programme.starten(programme.dadaviru)

    # Visibility is read before the count, so a window seen while fewer than eight writes were made
    # was visible during the run.
    def lauf_vorbei_ohne_fenster():
        sichtbar = anzeige.sichtbares_fenster()
        if programme.schreibungen() >= 8:
            return True
        assert not sichtbar, "Dadaviru showed its window during the run"

    erwarten(lauf_vorbei_ohne_fenster, 60, "the run's eighth clock write")
    endet_binnen(prozess, "Dadaviru", 60)
    programme.in_passfolge(dienste)


@beide
def test_dadaviru_ohne_quellen(programme, umgebung):
    (umgebung.arbeit / "dadaviru.txt").write_text("http://127.0.0.4:1/zeit.php\n")
    endet_binnen(programme.starten(programme.dadaviru), "Dadaviru", 60)
    assert programme.schreibungen() == 0


# Dadaviru_Autostart: the window shows at once, its client area 121x41 and lavender (a frame, where a
# window manager or Wine draws one, does not count), and stays through the run, which waits for
# Timer_start's first tick (a short wait in the loopback programs); then the end.
@beide
def test_autostart_zeigt_sich_und_wartet(programme, dienste, anzeige):
    dienste.vier_starten(0)
    prozess = programme.starten(programme.autostart)
    beginn = prozessbeginn(prozess.pid)
    fenster = anzeige.fenster_abwarten(prozess)
    assert warten_auf(20, lambda: anzeige.blick("flaeche", fenster, LAVENDEL) == "121x41"), \
        f"lavender client area is {anzeige.blick('flaeche', fenster, LAVENDEL)}"
    dienste.erste_anfrage_nach_der_wartezeit(beginn)
    endet_binnen(prozess, "Dadaviru_Autostart", 60)
    programme.in_passfolge(dienste)


# Closes Dadaviru_Autostart's window once it is painted; the program must end without a request or a
# clock write. The first tick falls due no earlier than Timer_start's interval after the process was
# made, so a close sent later than VORSPRUNG_S before that proves nothing on a slow machine: that
# start is tried again, three times at most.
def vor_dem_tick_schliessen(programme, dienste, anzeige, bau, schliessen):
    dienste.vier_starten(0)
    for _ in range(3):
        dienste.protokoll.unlink(missing_ok=True)
        programme.neu()
        prozess = programme.starten(programme.autostart)
        beginn = prozessbeginn(prozess.pid)
        fenster = anzeige.fenster_abwarten(prozess)
        assert warten_auf(20, lambda: anzeige.gemalt(fenster)), "the window was not painted"
        schliessen(fenster)
        if time.clock_gettime(time.CLOCK_BOOTTIME) - beginn <= int(bau.wartezeit_ms) / 1000 - VORSPRUNG_S:
            endet_binnen(prozess, "Dadaviru_Autostart", 20)
            assert dienste.anfragen() == [], "a request after closing"
            assert programme.schreibungen() == 0, "a clock write after closing"
            return
        # Sent too late to count; that run ends by itself all the same.
        endet_binnen(prozess, "Dadaviru_Autostart", 60)
    pytest.fail("three times the window could not be closed in time before Timer_start's first tick")


# On Windows, Wine turns the close button's request into WM_CLOSE.
@beide
def test_schliessen_vor_dem_tick_knopf(programme, dienste, anzeige, bau):
    vor_dem_tick_schliessen(programme, dienste, anzeige, bau, anzeige.schliessen)


@pytest.mark.parametrize("plattform", [LINUX])
def test_schliessen_vor_dem_tick_von_aussen(programme, dienste, anzeige, bau):
    vor_dem_tick_schliessen(programme, dienste, anzeige, bau, anzeige.zerstoeren)
