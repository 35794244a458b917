# A virtual X display for the end-to-end tests that need one: Xvfb on a display number it picks,
# started and waited for until it says which, and ended with the test.
# SPDX-License-Identifier: MIT
import pytest

from sicher import beenden, erwarten


class Anzeige:
    def __init__(self, umgebung):
        nummer = umgebung.arbeit / "anzeige"
        with open(nummer, "w") as aus:
            # -displayfd: the number goes to the standard output once the server takes clients.
            self.prozess = umgebung.starten("Xvfb", "-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp",
                                            attrappe=False, ausgabe=aus)
        self.name = ":" + erwarten(lambda: nummer.read_text().strip(), 20, "Xvfb")
        # What a program needs to show its windows there, without the accessibility bus.
        self.env = {"DISPLAY": self.name, "WAYLAND_DISPLAY": None, "NO_AT_BRIDGE": 1}


@pytest.fixture
def anzeige(umgebung):
    a = Anzeige(umgebung)
    yield a
    beenden(a.prozess)
