# The time service holding answers for many clients, each on a round trip of its own (2 to 300 ms),
# against as many sharing one of 150 ms: an honest client's answers must still land on the second, and
# an answer must not cost much more when each has a lead of its own.
# SPDX-License-Identifier: MIT
import pytest

KLIENTEN, SEKUNDEN = 200, 10


@pytest.mark.leitung("--hin", 1, "--zurueck", 1, "--je-adresse", 149)
@pytest.mark.ctest(zeitlimit=240)
def test_viele_umlaufzeiten(umgebung, dienste, strecke, bau):
    d = dienste.zeitdienst("--max-per-address", KLIENTEN + 1, adresse=strecke.FERN, netz=strecke.fern, protokoll=False)

    # klientenschar's numbers, and the service's CPU time per load answer in ms.
    def schar(*wie):
        lauf = umgebung.ausfuehren("ip", "netns", "exec", strecke.nah, bau.klientenschar, strecke.FERN, d.port,
                                   KLIENTEN, SEKUNDEN, "--dienst", d.pid, *wie, zeitlimit=120, attrappe=False,
                                   pruefen=True)
        w = {name: float(wert) for name, _, wert in (wort.partition("=") for wort in lauf.stdout.split())}
        assert w["closed"] == 0 and w["answers"] > KLIENTEN * (SEKUNDEN - 1) and w["honest"] >= SEKUNDEN - 2, \
            f"not every client was answered once a second: {lauf.stdout}"
        # A client woken late on a loaded machine still lands well inside the worst.
        assert abs(w["median_ms"]) <= 0.5 and abs(w["worst_ms"]) <= 20, \
            f"{' '.join(wie) or 'own round trips'}: the honest client's answers landed off the second: {lauf.stdout}"
        return w, w["cpu_ms"] / w["answers"]

    (eigene, je_eigene), (geteilte, je_geteilte) = schar(), schar("--gemeinsam")
    assert je_eigene <= 2 * je_geteilte, \
        f"an answer cost {je_eigene * 1000:.0f} us of CPU on own round trips, {je_geteilte * 1000:.0f} us on a " \
        f"shared one ({je_eigene / je_geteilte:.1f} times): {eigene} {geteilte}"
