# Through the real chain: Dadaviru, run as a member of the group dadaviru and as a user outside it,
# asks the real systemd-timedated on a private bus, which asks the real polkitd, which reads only
# our rule. The member's writes arrive, to the second the answers name; the other user's do not,
# nor do the member's while an NTP unit is active; nothing goes round timedated, and every run ends
# by itself.
# SPDX-License-Identifier: MIT
import pytest

from dienste import PASS_ANTWORTEN, PASSFOLGE

# The chain's users, the built-in services' ports and the group dadaviru are the machine's.
pytestmark = [pytest.mark.usefixtures("ohne_anzeige"),
              pytest.mark.ctest(zeitlimit=300, sperren=("loopback_ports", "benutzer"))]


@pytest.fixture
def lauf(umgebung, dienste, uhrkette, bau):
    # Runs Dadaviru as a user; it must end by itself, successfully, after asking all four
    # services in pass order. Every clock write, by timedated or any other.
    dienste.vier_starten()
    uhrkette.polkit_starten(bau.regel)

    def laufen(als):
        umgebung.ausfuehren(*als, bau.dadaviru, env=uhrkette.env, pruefen=True)
        assert dienste.anfragen() == PASSFOLGE
        return umgebung.uhr_protokoll.read_text()

    return laufen


def test_mitglied_schreibt_durch_timedated(lauf, uhrkette, benutzer, umgebung):
    uhrkette.timedated_starten()
    alle = lauf(benutzer.als_mitglied)
    # A date and a time write per pass, each the time of day its answer names, and none by
    # anyone else.
    w = umgebung.geschrieben("systemd-timedated")
    assert w[1::2] == PASS_ANTWORTEN, f"time writes: {alle}"
    assert [d[:11] for d in w[::2]] == [a[:11] for a in PASS_ANTWORTEN], f"date writes: {alle}"
    assert len(alle.splitlines()) == 8, f"writes beside timedated: {alle}"


def test_fremder_schreibt_nichts(lauf, uhrkette, benutzer):
    # polkit wants a password that a non-interactive call cannot give, and nothing is written,
    # neither by timedated nor past it.
    uhrkette.timedated_starten()
    assert lauf(benutzer.als_fremder) == ""


def test_mit_ntp_verweigert_timedated(lauf, uhrkette, benutzer):
    # timedated refuses, and again nothing goes round it.
    uhrkette.systemd_starten()
    uhrkette.timedated_starten("systemd-timesyncd.service")
    assert lauf(benutzer.als_mitglied) == ""
    anfragen = uhrkette.systemd_log.read_text()
    assert "GetAll /org/freedesktop/systemd1/unit/systemd_2dtimesyncd_2eservice" in anfragen, \
        f"timedated did not ask about the NTP unit: {anfragen}"
