# A path with a real round trip, as over the internet: two network namespaces of the test's own,
# joined by the delay line verzoegerung, which gives the near one 198.18.0.1 and the far one 198.18.0.2.
# SPDX-License-Identifier: MIT
import os
import subprocess

import pytest

from sicher import beenden, erwarten


class Strecke:
    NAH, FERN = "198.18.0.1", "198.18.0.2"

    def __init__(self, umgebung, verzoegerung, hin_ms, zurueck_ms):
        self.nah, self.fern = f"dk{os.getpid()}-a", f"dk{os.getpid()}-b"
        self.leitung = None
        for netz in (self.nah, self.fern):
            subprocess.run(["ip", "netns", "add", netz], check=True)
        ausgabe = umgebung.arbeit / "leitung"
        with open(ausgabe, "w") as aus:
            self.leitung = umgebung.starten(verzoegerung, self.nah, self.fern, "--hin", hin_ms, "--zurueck", zurueck_ms,
                                            "--dauer", 600, ausgabe=aus, attrappe=False)
        erwarten(lambda: ausgabe.read_text().startswith("ready"), 20, f"the delay line ({ausgabe.read_text()})")

    @staticmethod
    def im_netz(netz):
        """The words that run a command inside the namespace."""
        return ["ip", "netns", "exec", netz]

    def abbauen(self):
        # The line's devices go with it, before their namespaces.
        if self.leitung:
            beenden(self.leitung)
        for netz in (self.nah, self.fern):
            subprocess.run(["ip", "netns", "del", netz], capture_output=True)


@pytest.fixture
def strecke(umgebung, bau):
    """40 ms each way between the namespaces."""
    s = Strecke(umgebung, bau.verzoegerung, 40, 40)
    yield s
    s.abbauen()
