# What every end-to-end test is given: the build under test (a file its CMake writes, naming each
# program and tool), a work folder, and the run helper; and the list of tests that ctest runs, one
# ctest test per scenario, with the limits and locks each scenario's marker names.
# SPDX-License-Identifier: MIT
import json
import os
import re
import shutil
import subprocess
import tempfile
from pathlib import Path

import pytest

from sicher import beenden, uhrrecht_gebunden, vorsatz

# Fixtures for the real components, one module each.
pytest_plugins = ["dienste", "bus", "rohclient", "anzeige", "wine", "verzoegerung", "namensraum", "benutzer",
                  "uhrkette"]


def pytest_addoption(parser):
    parser.addoption("--bau-datei", default=os.environ.get("DADAVIRU_BAU_DATEI"),
                     help="the file a build writes with the paths of its programs and tools")
    parser.addoption("--ctest-liste", help="write the tests as CMake's add_test calls to this file")
    parser.addoption("--plattform", default="linux", help="with --ctest-liste: the build's platform")


def pytest_configure(config):
    config.addinivalue_line("markers", "ctest(zeitlimit=120, sperren=(), braucht=(), etiketten=()): how ctest runs the test")


def _plattform(item):
    callspec = getattr(item, "callspec", None)
    return callspec.params.get("plattform", "linux") if callspec else "linux"


def ctest_name(item):
    """e2e.<file without test_>.<function without test_>[.<parameters>], the platform left out:
    each build runs the tests of its own."""
    modul = Path(item.fspath).stem.removeprefix("test_")
    name = item.originalname.removeprefix("test_")
    callspec = getattr(item, "callspec", None)
    teile = [str(v) for k, v in (callspec.params.items() if callspec else []) if k != "plattform"]
    return ".".join(["e2e", modul, name, *[re.sub(r"[^A-Za-z0-9_-]", "_", t) for t in teile]])


def pytest_collection_modifyitems(session, config, items):
    liste = config.getoption("ctest_liste")
    if not liste:
        return
    zeilen = []
    for item in items:
        if _plattform(item) != config.getoption("plattform"):
            continue
        name = ctest_name(item)
        marke = item.get_closest_marker("ctest")
        art = marke.kwargs if marke else {}
        knoten = os.path.relpath(item.nodeid, ".")
        zeilen.append(f'add_test(NAME {name} COMMAND ${{DADAVIRU_PYTEST}} "{knoten}")')
        eigenschaften = [f"TIMEOUT {art.get('zeitlimit', 120)}"]
        if art.get("sperren"):
            eigenschaften.append('RESOURCE_LOCK "' + ";".join(art["sperren"]) + '"')
        if art.get("etiketten"):
            eigenschaften.append('LABELS "' + ";".join(art["etiketten"]) + '"')
        if art.get("braucht"):
            eigenschaften.append('FIXTURES_REQUIRED "' + ";".join(art["braucht"]) + '"')
        zeilen.append(f"set_tests_properties({name} PROPERTIES {' '.join(eigenschaften)})")
    Path(liste).write_text("\n".join(zeilen) + "\n")


def pytest_sessionstart(session):
    # The guard behind the run helper: a test started with the right to set the clock refuses to run.
    if not session.config.getoption("ctest_liste") and not session.config.option.collectonly and uhrrecht_gebunden():
        pytest.exit("the tests run without CAP_SYS_TIME: start them through tools/tests.sh or ctest "
                    "as the README shows", returncode=2)


class Bau:
    """The build under test: its programs and tools by name, and its build-time values."""

    def __init__(self, werte):
        self._werte = werte

    def __getattr__(self, name):
        try:
            return self._werte[name]
        except KeyError:
            raise AttributeError(f"the build names no '{name}'") from None


@pytest.fixture(scope="session")
def bau(pytestconfig):
    datei = pytestconfig.getoption("bau_datei")
    if not datei:
        pytest.exit("--bau-datei names no build (or set DADAVIRU_BAU_DATEI)", returncode=2)
    return Bau(json.loads(Path(datei).read_text()))


class Umgebung:
    """A test's work folder and what it starts there. Every program runs through the run helper;
    everything started in the background ends with the test."""

    def __init__(self, arbeit, uhrattrappe):
        self.arbeit = arbeit
        self.uhrattrappe = uhrattrappe
        self.uhr_protokoll = arbeit / "uhr"
        self.bus = None
        # Words before every program, such as those that enter a namespace the test made.
        self.innen = []
        self._hintergrund = []

    def vorsatz(self, attrappe=True):
        return vorsatz(self.bus, self.uhrattrappe if attrappe else None, self.uhr_protokoll) + self.innen

    def _umgebung(self, env):
        umgebung = dict(os.environ)
        for name, wert in (env or {}).items():
            if wert is None:
                umgebung.pop(name, None)
            else:
                umgebung[name] = str(wert)
        return umgebung

    def ausfuehren(self, *befehl, zeitlimit=60, env=None, cwd=None, attrappe=True, eingabe=None):
        """Runs a program to its end (`timeout` ends it after `zeitlimit` s); its output as text."""
        return subprocess.run([*self.vorsatz(attrappe), "timeout", "-k", "5", str(zeitlimit), *map(str, befehl)],
                              cwd=cwd or self.arbeit, env=self._umgebung(env), input=eingabe,
                              capture_output=True, text=True)

    def starten(self, *befehl, env=None, cwd=None, attrappe=True, ausgabe=None, fehlerausgabe=None):
        """Starts a program in the background; the Popen is the program itself, so signals reach it."""
        prozess = subprocess.Popen([*self.vorsatz(attrappe), *map(str, befehl)], cwd=cwd or self.arbeit,
                                   env=self._umgebung(env), stdout=ausgabe or subprocess.DEVNULL,
                                   stderr=fehlerausgabe or subprocess.DEVNULL)
        self._hintergrund.append(prozess)
        return prozess

    def geschrieben(self):
        """The local times the clock was set to, "date time" each, from the interposer's log."""
        if not self.uhr_protokoll.exists():
            return []
        return [" ".join(z.split()[2:4]) for z in self.uhr_protokoll.read_text().splitlines() if z.strip()]

    def aufraeumen(self):
        for prozess in reversed(self._hintergrund):
            beenden(prozess)
        self._hintergrund.clear()


@pytest.fixture
def umgebung(bau):
    arbeit = Path(tempfile.mkdtemp(prefix="dadaviru-e2e."))
    # Programs may run as other users: they reach the folder, the bus and the clock's log.
    arbeit.chmod(0o755)
    u = Umgebung(arbeit, getattr(bau, "uhrattrappe", None))
    try:
        yield u
    finally:
        u.aufraeumen()
        shutil.rmtree(arbeit, ignore_errors=True)

