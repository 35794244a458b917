# The Linux HTTP client's unit tests, against the tests' time services on loopback, each named to
# them in DADAVIRU_ZEITDIENSTE.
# SPDX-License-Identifier: MIT
import pytest


def inet_dienste_starten(dienste):
    """The services both HTTP clients' tests ask, as "name=port name=port ..."."""
    namen = []

    def benannt(name, *optionen):
        d = dienste.starten(*optionen)
        namen.append(f"{name}={d.port}")
        return d

    benannt("normal")
    benannt("fehler500", "--status", "500", "--body", "2026-12-07 13:45:09")
    ziel = benannt("ziel", "--body", "2026-12-07 13:45:09")
    benannt("umleitung", "--redirect", ziel.url)
    benannt("zur_datei", "--redirect", "file:///etc/hostname")
    benannt("kreis", "--redirect", "/zeit.php")
    # A chain of redirects, each to the one before: kette5 takes five hops to "ok", kette6 six.
    vorige = benannt("kette0", "--body", "ok")
    for i in range(1, 7):
        vorige = benannt(f"kette{i}", "--redirect", vorige.url)
    # Each of these would hold a client for 30 s or more, far beyond the tests' limit.
    benannt("tropfen", "--drip", "100")
    benannt("langsam", "--delay", "30000")
    benannt("stockend", "--drip", "30000")
    benannt("kopftropfen", "--drip-head", "500")
    benannt("riesig", "--huge", "100")
    benannt("zu_lang", "--body", "x" * 65537)
    benannt("gerade_noch", "--body", "x" * 65536)
    return " ".join(namen)


@pytest.mark.ctest(zeitlimit=300)
def test_http_client(umgebung, dienste, bau):
    namen = inet_dienste_starten(dienste)
    lauf = umgebung.ausfuehren(bau.inet_tests, zeitlimit=240, env={"DADAVIRU_ZEITDIENSTE": namen})
    assert lauf.returncode == 0, lauf.stdout + lauf.stderr
