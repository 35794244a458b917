# The Windows build's own tests under Wine: its unit tests, in a German locale on a display with the
# time services the HTTP client's tests name and then the locale's tests in American English (Wine
# takes the user's locale from LANG when a process starts), and the programs' identification, read
# back through the APIs Windows itself uses.
# SPDX-License-Identifier: MIT
import pytest

from dienste import inet_dienste_starten
from wine import unter_wine


@pytest.mark.parametrize("plattform", [unter_wine(sperren=("loopback_ports",))])
def test_einheiten_deutsch(plattform, umgebung, dienste, anzeige, wine, bau):
    namen = inet_dienste_starten(dienste)
    wine.ausfuehren(bau.einheit_tests, zeitlimit=300, pruefen=True, env={
        "LANG": "de_DE.UTF-8", "LC_ALL": "de_DE.UTF-8", "DADAVIRU_ORT": "de-DE", "DADAVIRU_ZEITDIENSTE": namen})


@pytest.mark.parametrize("plattform", [unter_wine()])
def test_ortsueblich_amerikanisch(plattform, umgebung, anzeige, wine, bau):
    wine.ausfuehren(bau.einheit_tests, "--gtest_filter=Ortsuebliche.*:Umwandlung_Win32.*", zeitlimit=120,
                    env={"LANG": "en_US.UTF-8", "LC_ALL": "en_US.UTF-8", "DADAVIRU_ORT": "en-US"}, pruefen=True)


@pytest.mark.parametrize("programm", ["Dadaviru", "Dadaviru_Autostart"])
@pytest.mark.parametrize("plattform", [unter_wine()])
def test_kennung(plattform, programm, wine, bau):
    # Wine reads a Unix path as one on the current drive, which is not Z: from inside the prefix.
    pfad = wine.ausfuehren("winepath", "-w", getattr(bau, f"ausgeliefert_{programm}"), pruefen=True)
    wine.ausfuehren(bau.kennungspruefer, pfad.stdout.strip(), programm, pruefen=True)
