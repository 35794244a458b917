# The time service holding answers for many clients, each on a round trip of its own (2 to 300 ms),
# against as many sharing one of 150 ms: an honest client's answers must still land on the second, and
# an answer must not cost much more when each has a lead of its own. The honest client sits beside the
# service: at the clients' one host, all their answers arrive as the second begins, and in that crowd
# one can wait a millisecond to be handed over however well it was sent.
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
                                   KLIENTEN, SEKUNDEN, "--dienst", d.pid, "--ehrlich-im-netz", strecke.fern, *wie,
                                   zeitlimit=120, attrappe=False,
                                   pruefen=True)
        w = {name: float(wert) for name, _, wert in (wort.partition("=") for wort in lauf.stdout.split())}
        assert w["closed"] == 0 and w["answers"] > KLIENTEN * (SEKUNDEN - 1) and w["honest"] >= SEKUNDEN - 2, \
            f"not every client was answered once a second: {lauf.stdout}"
        return w

    eigene, geteilte = schar(), schar("--gemeinsam")
    zahlen = f"own round trips: {eigene}; one shared: {geteilte}"
    # The honest answers land within 0.15 ms (median) in most runs; in some, the service's wake for them
    # waits 2 ms for a core while the delay line and the clients, on the same two cores, take in the
    # answers that all arrive as the second begins, and with stress-ng beside them a worst of 18 ms was
    # seen. What this catches is a service that sends late by itself.
    for w in (eigene, geteilte):
        assert abs(w["median_ms"]) <= 5 and abs(w["worst_ms"]) <= 25, f"the honest answers missed the second: {zahlen}"
    # An answer costs 2.0 to 2.8 times as much, a wake of the loop's own for each lead that no other
    # shares; a loop that spun for its ticks cost 15 to 18 times.
    je_eigene, je_geteilte = (w["cpu_ms"] / w["answers"] for w in (eigene, geteilte))
    assert je_eigene <= 4 * je_geteilte, \
        f"an answer cost {je_eigene / je_geteilte:.1f} times the CPU on own round trips as on a shared one: {zahlen}"
