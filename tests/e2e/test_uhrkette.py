# Through the real chain: Dadaviru, run as a member of the group dadaviru and as a user outside it,
# asks the real systemd-timedated on a private bus, which asks the real polkitd, which reads only
# our rule. The member's writes arrive, to the second the answers name; the other user's do not,
# nor do the member's while an NTP unit is active; nothing goes round timedated, and every run ends
# by itself.
# SPDX-License-Identifier: MIT
import pytest

PASSFOLGE = ["GET /zeit.php", "GET /zeit.php", "GET /", "GET /zeit.php"]
# The chain's users, the built-in services' ports and the group dadaviru are the machine's.
kette = pytest.mark.ctest(zeitlimit=300, sperren=("loopback_ports", "benutzer"))


@pytest.fixture
def laeufe(umgebung, dienste, bus, uhrkette, benutzer, bau):
    dienste.vier_starten()
    uhrkette.polkit_starten(bau.regel)

    def lauf(als):
        """One run of Dadaviru as that user, on a clock at real time: it must end by itself,
        successfully, after asking all four services in pass order."""
        uhrkette.uhr_zuruecksetzen()
        dienste.protokoll.write_text("")
        ergebnis = umgebung.ausfuehren(*als, bau.dadaviru, zeitlimit=60,
                                       env={**uhrkette.env, "DISPLAY": None, "WAYLAND_DISPLAY": None})
        assert ergebnis.returncode == 0, ergebnis.stdout + ergebnis.stderr
        assert dienste.anfragen() == PASSFOLGE

    return lauf


@kette
def test_mitglied_schreibt_durch_timedated(laeufe, uhrkette, benutzer, umgebung):
    uhrkette.timedated_starten()
    laeufe(benutzer.als_mitglied)
    # A date and a time write per pass, each the time of day its answer names, and none by anyone else.
    w = [" ".join(z.split()[2:4]) for z in uhrkette.durch_timedated()]
    alle = umgebung.uhr_protokoll.read_text()
    assert len(w) == 8, alle
    for i in range(4):
        n = i + 1
        assert w[2 * i].startswith(f"200{n}-0{n}-0{n} "), f"date write {i}: {alle}"
        assert w[2 * i + 1] == f"200{n}-0{n}-0{n} 0{n}:0{n}:0{n}", f"time write {i}: {alle}"
    assert len(alle.splitlines()) == 8, f"writes beside timedated: {alle}"


@kette
def test_fremder_schreibt_nichts(laeufe, uhrkette, benutzer, umgebung):
    # polkit wants a password that a non-interactive call cannot give, and nothing is written,
    # neither by timedated nor past it.
    uhrkette.timedated_starten()
    laeufe(benutzer.als_fremder)
    assert umgebung.uhr_protokoll.read_text() == ""


@kette
def test_mit_ntp_verweigert_timedated(laeufe, uhrkette, benutzer, umgebung):
    # timedated refuses, and again nothing goes round it.
    uhrkette.systemd_starten()
    uhrkette.timedated_starten("systemd-timesyncd.service")
    laeufe(benutzer.als_mitglied)
    assert umgebung.uhr_protokoll.read_text() == ""
    anfragen = uhrkette.systemd_log.read_text()
    assert "GetAll /org/freedesktop/systemd1/unit/systemd_2dtimesyncd_2eservice" in anfragen, \
        f"timedated did not ask about the NTP unit: {anfragen}"
