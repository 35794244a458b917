# The time service while its host's clock steps, as NTP steps it at boot: the clock interposer sets
# the service's wall clock back an hour and then forward again while clients wait for their answers.
# Every client must keep getting answers, each naming a second that had begun when it arrived.
# SPDX-License-Identifier: MIT
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import pytest

from dienste import attrappe_sagen
from rohclient import sekunde
from sicher import warten_auf


def kunde(verbindung, antworten, halt):
    # Asks again on its connection the moment it has an answer, so that at every moment requests are
    # held; at most 120 times. Its answers as (text, arrival), the arrival read after it came.
    for _ in range(120):
        if halt.is_set() or not (antwort := verbindung.fragen(sekunden=20)):
            return
        antworten.append((antwort.text, time.time()))


def stunden_zurueck(text, ankunft):
    return round((ankunft - sekunde(text)) / 3600)


@pytest.mark.ctest(zeitlimit=180)
def test_uhr_zurueck_und_wieder_vor(dienste, roh, umgebung, monkeypatch):
    sprung = umgebung.arbeit / "sprung"
    monkeypatch.setenv("UHRATTRAPPE_SPRUNG", str(sprung))
    attrappe_sagen(sprung, 0)
    d = dienste.zeitdienst("--zone", "UTC", attrappe=True)  # an hour back must not cross a change of summer time
    halt = threading.Event()
    kunden = [(roh.verbinden(d.port), []) for _ in range(3)]
    with ThreadPoolExecutor(3) as faeden:
        for k in kunden:
            faeden.submit(kunde, *k, halt)
        try:
            for phase, schritt, stunden in (("at first", 0, 0), ("after the clock was set back an hour", -3600, 1),
                                            ("after the clock was set forward again", 0, 0)):
                # Every client has had an answer since the last count, and its last names a second `stunden` back.
                gezaehlt = [len(a) for _, a in kunden]
                attrappe_sagen(sprung, schritt)
                assert warten_auf(30, lambda: all(len(a) > g and stunden_zurueck(*a[-1]) == stunden
                                                  for (_, a), g in zip(kunden, gezaehlt))), \
                    f"no answers {phase}: {[(a[-1:], v.ende) for v, a in kunden]}"
        finally:
            halt.set()
    # No answer early: each second had begun, on the service's clock then, when its answer arrived; and
    # on each connection the seconds only go forward, each answer a tick of its own.
    for nummer, (_, antworten) in enumerate(kunden, 1):
        echt = [(sekunde(text) + 3600 * stunden_zurueck(text, ankunft), ankunft) for text, ankunft in antworten]
        assert all(s <= ankunft for s, ankunft in echt), f"client {nummer}: an answer arrived early: {echt}"
        assert all(s < weiter for (s, _), (weiter, _) in zip(echt, echt[1:])), f"client {nummer}: seconds {echt}"
