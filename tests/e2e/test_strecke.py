# Dadaviru and the real time service across a path with 40 ms each way. The answer leaves early by
# half the round trip the service's kernel measured, so the clock lands on the second; without the
# lead it lands one way's delay behind, which shows that the path really delays.
# SPDX-License-Identifier: MIT
import statistics

import pytest

pytestmark = pytest.mark.usefixtures("ohne_anzeige")


# Starts the real service with `optionen` in the far namespace, named in dadaviru.txt, then runs Dadaviru
# from the near namespace `laeufe` times; the median of its clock errors in ms: the time it wrote minus the
# real time of that write, both as the interposer saw them. The program reads the answer in the machine's
# zone, so the service answers in it too.
@pytest.fixture
def fehler_ms(umgebung, dienste, strecke, bau, monkeypatch):
    monkeypatch.delenv("TZ", raising=False)

    def messen(*optionen, laeufe=1):
        dienst = dienste.starten(*optionen, programm=bau.zeitdienst, adresse=strecke.FERN, netz=strecke.fern)
        (umgebung.arbeit / "dadaviru.txt").write_text(dienst.url + "\n")
        fehler = []
        for _ in range(laeufe):
            umgebung.uhr_protokoll.unlink(missing_ok=True)
            umgebung.ausfuehren("ip", "netns", "exec", strecke.nah, bau.dadaviru, zeitlimit=120, pruefen=True)
            assert (zeilen := umgebung.uhr_zeilen()), "no clock write"
            fehler.append((float(zeilen[-1].split()[1]) - float(zeilen[-1].split()[4])) * 1000)
        return statistics.median(fehler)

    return messen


@pytest.mark.ctest(zeitlimit=180)
def test_ohne_vorsprung_eine_richtung_hinten(fehler_ms):
    ohne = fehler_ms("--no-lead")
    assert ohne < -25, f"without the lead the clock landed {ohne:.1f} ms off, not some 40 ms behind"


@pytest.mark.ctest(zeitlimit=300)
def test_mit_vorsprung_auf_der_sekunde(fehler_ms):
    # Half the way's 40 ms: without the lead the clock lands 40 ms behind; with it, a client woken late
    # on a loaded machine (a build on both cores once made two runs of three land 14 ms behind) still
    # lands well inside.
    mit = fehler_ms(laeufe=5)
    assert -20 < mit < 20, f"with the lead the clock landed {mit:.1f} ms off (median of five)"
