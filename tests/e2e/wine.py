# The Wine prefix of a Windows build, for the tests that run its programs: set up once by the ctest
# fixture `wine` (tests/win32/wine_einrichten.sh); here only used, one Wine program after another,
# without the right to set this machine's clock (Wine refuses clock writes by itself, too).
# SPDX-License-Identifier: MIT
import os
from pathlib import Path

import pytest

# What Wine reports on its sync channel for each clock write it refuses.
VERWEIGERT = "NtSetSystemTime not allowed"


# The `plattform` value of a test that runs Windows programs: registered only in the Windows build,
# after the ctest fixture has set up the prefix, one test in the prefix at a time (a program that
# starts in another locale rewrites the regional settings every other one reads).
def unter_wine(zeitlimit=300, sperren=()):
    return pytest.param("windows", marks=pytest.mark.ctest(zeitlimit=zeitlimit, sperren=("wineprefix", *sperren),
                                                           braucht=("wine",)))


# A prefix and the Wine of its width, named to every program the test starts from here on.
class Wine:
    def __init__(self, umgebung, monkeypatch, prefix, winearch, dlls="mscoree,mshtml="):
        self.umgebung, self.prefix = umgebung, Path(prefix).resolve()
        for name, wert in {"WINEPREFIX": self.prefix, "WINEDEBUG": "-all", "WINEDLLOVERRIDES": dlls,
                           "WINEARCH": winearch, "DADAVIRU_WINEARCH": winearch}.items():
            monkeypatch.setenv(name, str(wert))
        # Loopback is reached directly; WinINet under Wine would take a proxy from the environment.
        for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
            monkeypatch.delenv(name, raising=False)
        if winearch == "win64":
            # /usr/bin/wine takes the 32-bit loader whenever it is installed, even on a machine that
            # cannot run 32-bit code; the set-up leaves the 64-bit one in this folder (wine_waehlen).
            monkeypatch.setenv("PATH", f"{self.prefix}.bin", prepend=os.pathsep)

    def ausfuehren(self, *befehl, zeitlimit=120, **optionen):
        return self.umgebung.ausfuehren("wine", *befehl, zeitlimit=zeitlimit, attrappe=False, **optionen)

    # The prefix's Wine server outlives its last program by a few seconds; once it has ended, so has
    # whatever the programs left running, and the registry is on disk.
    def server_abwarten(self):
        self.umgebung.ausfuehren("wineserver", "-w", zeitlimit=60, attrappe=False)


@pytest.fixture
def wine(umgebung, bau, monkeypatch):
    w = Wine(umgebung, monkeypatch, bau.wineprefix, bau.winearch)
    assert (w.prefix / ".dadaviru_bereit").exists(), f"the Wine prefix {w.prefix} is not set up"
    yield w
    # Whatever the test left running ends first, so that the server can.
    umgebung.aufraeumen()
    w.server_abwarten()
