# A path with a real round trip, as over the internet: two network namespaces of the test's own,
# joined by the delay line verzoegerung, which gives the near one 198.18.0.1 and the far one 198.18.0.2.
# SPDX-License-Identifier: MIT
import os
import subprocess
from types import SimpleNamespace

import pytest

from sicher import erwarten


# A test's marker `leitung` names the line's delays instead of 40 ms each way.
@pytest.fixture
def strecke(umgebung, bau, request):
    marke = request.node.get_closest_marker("leitung")
    s = SimpleNamespace(nah=f"dk{os.getpid()}-a", fern=f"dk{os.getpid()}-b", NAH="198.18.0.1", FERN="198.18.0.2")
    for netz in (s.nah, s.fern):
        subprocess.run(["ip", "netns", "add", netz], check=True)
    ausgabe = umgebung.arbeit / "leitung"
    optionen = marke.args if marke else ("--hin", 40, "--zurueck", 40)
    umgebung.starten(bau.verzoegerung, s.nah, s.fern, *optionen, "--dauer", 600, ausgabe=ausgabe, attrappe=False)
    erwarten(lambda: ausgabe.read_text().startswith("ready"), 20, f"the delay line ({ausgabe.read_text()})")
    yield s
    # The line's devices go with it, before their namespaces.
    umgebung.aufraeumen()
    for netz in (s.nah, s.fern):
        subprocess.run(["ip", "netns", "del", netz], capture_output=True)
