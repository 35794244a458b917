# The Wine prefix of a Windows build, for the tests that run its programs: set up once by the ctest
# fixture `wine` (tests/win32/wine_einrichten.sh); here only used, one Wine program after another,
# without the right to set this machine's clock (Wine refuses clock writes by itself, too).
# SPDX-License-Identifier: MIT
import os
from pathlib import Path

import pytest

# Wine's report of each clock write it refuses, one line each, with WINEDEBUG holding err+sync.
VERWEIGERT = "NtSetSystemTime not allowed"


def unter_wine(zeitlimit=300, sperren=()):
    """The `plattform` value of a test that runs Windows programs: registered only in the Windows
    build, after the ctest fixture has set up the prefix, one test in the prefix at a time (a program
    that starts in another locale rewrites the regional settings every other one reads)."""
    return pytest.param("windows", marks=pytest.mark.ctest(zeitlimit=zeitlimit, sperren=("wineprefix", *sperren),
                                                           braucht=("wine",)))


class Wine:
    def __init__(self, umgebung, bau, monkeypatch):
        self.umgebung = umgebung
        self.prefix = Path(bau.wineprefix).resolve()
        assert (self.prefix / ".dadaviru_bereit").exists(), f"the Wine prefix {self.prefix} is not set up"
        assert Path(bau.pruefdienst).exists(), f"no {bau.pruefdienst}; build the linux preset first"
        monkeypatch.setenv("WINEPREFIX", str(self.prefix))
        monkeypatch.setenv("WINEDEBUG", "-all")
        monkeypatch.setenv("WINEDLLOVERRIDES", "mscoree,mshtml=")
        # Loopback is reached directly; WinINet under Wine would take a proxy from the environment.
        for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
            monkeypatch.delenv(name, raising=False)
        monkeypatch.setenv("WINEARCH", bau.winearch)
        if bau.winearch == "win64":
            # /usr/bin/wine takes the 32-bit loader whenever it is installed, even on a machine that
            # cannot run 32-bit code; the set-up leaves the 64-bit one in this folder (wine_waehlen).
            monkeypatch.setenv("PATH", f"{self.prefix}.bin", prepend=os.pathsep)

    def ausfuehren(self, *befehl, zeitlimit=120, env=None):
        """A Windows program under Wine to its end, bounded in time."""
        return self.umgebung.ausfuehren("wine", *befehl, zeitlimit=zeitlimit, env=env, attrappe=False)

    def starten(self, *befehl, bericht, env=None):
        """A Windows program under Wine in the background, Wine's own report appended to `bericht`."""
        with open(bericht, "a") as aus:
            return self.umgebung.starten("wine", *befehl, env=env, attrappe=False, fehlerausgabe=aus)

    def verweigert(self, bericht):
        """How many clock writes Wine has refused so far, by its report."""
        return bericht.read_text().count(VERWEIGERT) if bericht.exists() else 0

    def server_abwarten(self):
        # The Wine server of the prefix outlives its last program by a few seconds.
        self.umgebung.ausfuehren("wineserver", "-w", zeitlimit=30, attrappe=False)


@pytest.fixture
def wine(umgebung, bau, monkeypatch):
    w = Wine(umgebung, bau, monkeypatch)
    yield w
    # Whatever the test left running ends first, so that the server can.
    umgebung.aufraeumen()
    w.server_abwarten()
