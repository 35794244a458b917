# What every end-to-end test is given: the build under test (a file its CMake writes, naming each
# program and tool), a work folder, and the run helper; and the list of tests that ctest runs, one
# ctest test per scenario, with the limits and locks each scenario's marker names.
# SPDX-License-Identifier: MIT
import contextlib
import json
import os
import re
import shutil
import subprocess
import tempfile
from pathlib import Path
from types import SimpleNamespace

import pytest

from sicher import beenden, uhrrecht_gebunden, umgebung_mit, vorsatz

# Fixtures for the real components, one module each.
pytest_plugins = ["dienste", "bus", "rohclient", "anzeige", "wine", "verzoegerung", "namensraum", "benutzer",
                  "uhrkette"]
EIGENSCHAFTEN = {"sperren": "RESOURCE_LOCK", "etiketten": "LABELS", "braucht": "FIXTURES_REQUIRED"}


def pytest_addoption(parser):
    parser.addoption("--bau-datei", default=os.environ.get("DADAVIRU_BAU_DATEI"),
                     help="the file a build writes with the paths of its programs and tools")
    parser.addoption("--ctest-liste", help="write the tests as CMake's add_test calls to this file")
    parser.addoption("--plattform", default="linux", help="with --ctest-liste: the build's platform")


def pytest_configure(config):
    config.addinivalue_line("markers", "ctest(zeitlimit, sperren, braucht, etiketten): how ctest runs the test")
    config.addinivalue_line("markers", "leitung(*optionen): the delay line's options for the fixture strecke")


def pytest_collection_modifyitems(session, config, items):
    if not (liste := config.getoption("ctest_liste")):
        return
    zeilen = []
    for item in items:
        parameter = dict(item.callspec.params) if hasattr(item, "callspec") else {}
        # Each build runs the tests of its own platform, so the name leaves the platform out.
        if parameter.pop("plattform", "linux") != config.getoption("plattform"):
            continue
        name = ".".join(["e2e", Path(item.fspath).stem.removeprefix("test_"), item.originalname.removeprefix("test_"),
                         *[re.sub(r"[^A-Za-z0-9_-]", "_", str(wert)) for wert in parameter.values()]])
        art = marke.kwargs if (marke := item.get_closest_marker("ctest")) else {}
        zeilen.append(f'add_test(NAME {name} COMMAND ${{DADAVIRU_PYTEST}} "{os.path.relpath(item.nodeid, ".")}")')
        eigenschaften = [f"TIMEOUT {art.get('zeitlimit', 120)}"] + [
            f'{cmake} "{";".join(art[teil])}"' for teil, cmake in EIGENSCHAFTEN.items() if art.get(teil)]
        zeilen.append(f"set_tests_properties({name} PROPERTIES {' '.join(eigenschaften)})")
    Path(liste).write_text("\n".join(zeilen) + "\n")


def pytest_sessionstart(session):
    # The guard behind the run helper: a test started with the right to set the clock refuses to run.
    if not session.config.getoption("ctest_liste") and not session.config.option.collectonly and uhrrecht_gebunden():
        pytest.exit("the tests run without CAP_SYS_TIME: start them through tools/tests.sh or ctest "
                    "as the README shows", returncode=2)


@pytest.fixture(scope="session")
def bau(pytestconfig):
    if not (datei := pytestconfig.getoption("bau_datei")):
        pytest.exit("--bau-datei names no build (or set DADAVIRU_BAU_DATEI)", returncode=2)
    return SimpleNamespace(**json.loads(Path(datei).read_text()))


# Every program runs through the run helper; everything started in the background ends with the test.
class Umgebung:
    def __init__(self, arbeit, uhrattrappe):
        self.arbeit, self.uhrattrappe, self.uhr_protokoll = arbeit, uhrattrappe, arbeit / "uhr"
        # `innen`: words before every program, such as those that enter a namespace the test made.
        self.bus, self.innen, self._hintergrund = None, [], []

    def _befehl(self, attrappe, befehl):
        return vorsatz(self.bus, self.uhrattrappe if attrappe else None, self.uhr_protokoll) + self.innen + \
            [str(wort) for wort in befehl]

    # With `pruefen`, a status other than 0 fails the test, with the command and the ends of its output.
    def ausfuehren(self, *befehl, zeitlimit=60, env=None, attrappe=True, pruefen=False):
        # The output goes through files: a process the program leaves behind (Wine's server) keeps a pipe
        # open, and the wait for its end would outlast every time limit.
        with tempfile.TemporaryFile("w+") as aus, tempfile.TemporaryFile("w+") as fehler:
            lauf = subprocess.run(self._befehl(attrappe, ["timeout", "-k", "5", zeitlimit, *befehl]), cwd=self.arbeit,
                                  env=umgebung_mit(env), stdout=aus, stderr=fehler, text=True)
            aus.seek(0), fehler.seek(0)
            lauf.stdout, lauf.stderr = aus.read(), fehler.read()
        assert not pruefen or lauf.returncode == 0, \
            f"{befehl[0]} exited with {lauf.returncode}: {lauf.stdout[-20000:]}{lauf.stderr[-5000:]}"
        return lauf

    # `ausgabe` and `fehlerausgabe` take an open file, the path of one to write afresh, or nothing.
    def starten(self, *befehl, env=None, cwd=None, attrappe=True, ausgabe=None, fehlerausgabe=None):
        with contextlib.ExitStack() as offen:
            aus, fehler = (offen.enter_context(open(z, "w")) if isinstance(z, Path) else z or subprocess.DEVNULL
                           for z in (ausgabe, fehlerausgabe))
            # The Popen is the program itself, so signals reach it.
            prozess = subprocess.Popen(self._befehl(attrappe, befehl), cwd=cwd or self.arbeit, env=umgebung_mit(env),
                                       stdout=aus, stderr=fehler)
        self._hintergrund.append(prozess)
        return prozess

    # The interposer's log: "<call> <time set> <local date> <local time> <real time> <program>" each.
    def uhr_zeilen(self):
        return self.uhr_protokoll.read_text().splitlines() if self.uhr_protokoll.exists() else []

    # The local times set, "date time" each; with `programm`, only those it set.
    def geschrieben(self, programm=None):
        zeilen = [z.split() for z in self.uhr_zeilen() if z.strip()]
        return [" ".join(z[2:4]) for z in zeilen if programm in (None, *z[5:6])]

    def aufraeumen(self):
        while self._hintergrund:
            beenden(self._hintergrund.pop())


@pytest.fixture
def umgebung(bau):
    arbeit = Path(tempfile.mkdtemp(prefix="dadaviru-e2e."))
    # Programs may run as other users: they reach the folder, the bus and the clock's log.
    arbeit.chmod(0o755)
    u = Umgebung(arbeit, getattr(bau, "uhrattrappe", None))
    yield u
    u.aufraeumen()
    shutil.rmtree(arbeit, ignore_errors=True)
