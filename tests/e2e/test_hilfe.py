# --help, -h and --version answer and end without a synchronisation: with every built-in service
# listening and the real timedated on a private bus (which lets root set the clock without asking
# polkit), no request may arrive, and the interposer may see no clock write, by timedated or any
# other. Any other argument is ignored.
# SPDX-License-Identifier: MIT
import pytest

pytestmark = [pytest.mark.usefixtures("ohne_anzeige"), pytest.mark.ctest(zeitlimit=120, sperren=("loopback_ports",))]


@pytest.fixture
def kette(dienste, uhrkette):
    dienste.vier_starten()
    uhrkette.timedated_starten()
    return uhrkette.env


# program, arguments, a line the answer must hold
ANTWORTEN = {
    "hilfe": ("dadaviru", "--help", "  http://{hosts[0]}/zeit.php"),
    "h": ("dadaviru", "-h", "  http://{hosts[2]}"),
    "version": ("dadaviru", "--version", "Dadaviru {version}"),
    "version_vor_hilfe": ("dadaviru", "egal --version --help", "Dadaviru {version}"),
    "autostart_hilfe": ("autostart", "--help", "Usage: Dadaviru_Autostart [--help | --version]"),
    "autostart_version": ("autostart", "--version", "Dadaviru_Autostart {version}"),
}


@pytest.mark.parametrize("fall", ANTWORTEN)
def test_antwortet_ohne_abgleich(fall, kette, dienste, umgebung, bau):
    programm, argumente, erwartet = ANTWORTEN[fall]
    antwort = umgebung.ausfuehren(getattr(bau, programm), *argumente.split(), zeitlimit=10, env=kette, pruefen=True)
    assert erwartet.format(hosts=bau.hosts, version=bau.version) in antwort.stdout.splitlines(), antwort.stdout
    assert dienste.anfragen() == []
    assert umgebung.uhr_protokoll.read_text() == ""


def test_unbekanntes_argument_wird_uebergangen(kette, dienste, umgebung, bau):
    umgebung.ausfuehren(bau.dadaviru, "--unbekannt", env=kette, pruefen=True)
    assert len(dienste.anfragen()) == 4
    assert len(umgebung.geschrieben("systemd-timedated")) == 8, umgebung.uhr_protokoll.read_text()
