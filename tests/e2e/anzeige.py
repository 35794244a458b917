# A virtual X display (Xvfb) for the desktop tests, and the looks at its windows they need: finding
# the program's window, its colours through the window probe fensterblick, and closing it.
# SPDX-License-Identifier: MIT
import re
import subprocess

import pytest

from sicher import erwarten, umgebung_mit, warten_auf

LAVENDEL = "c0c0ff"


class Anzeige:
    def __init__(self, umgebung, fensterblick):
        self.umgebung, self.fensterblick = umgebung, fensterblick
        ausgabe = umgebung.arbeit / "anzeige"
        # -displayfd: Xvfb picks a free display and names it once it takes connections. -noreset: by
        # default an X server resets when its last client leaves, as each of our window searches does,
        # and a program connecting during the reset is turned away and runs without its window.
        umgebung.starten("Xvfb", "-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp", "-noreset",
                         ausgabe=ausgabe, attrappe=False)
        self.name = ":" + erwarten(lambda: ausgabe.read_text().strip(), 20, "Xvfb")
        # What a program started with an environment of its own needs to show its windows here.
        self.env = {"DISPLAY": self.name, "WAYLAND_DISPLAY": None, "NO_AT_BRIDGE": 1}

    def _xdotool(self, *worte):
        return subprocess.run(["xdotool", *worte], capture_output=True, text=True, timeout=20,
                              env=umgebung_mit({"DISPLAY": self.name}))

    # The visible window captioned Zudedaruzu, or None. xdotool ends with an X error (BadWindow) when a
    # window it looks at is destroyed during its search, as the helper windows of a program that starts
    # or ends are, so None means only "not seen this time".
    def sichtbares_fenster(self):
        return next(iter(self._xdotool("search", "--onlyvisible", "--name", "^Zudedaruzu$").stdout.split()), None)

    # The program's window once it is mapped. Polled, not `xdotool search --sync`, which gives up at
    # the first X error above.
    def fenster_abwarten(self, prozess):
        fenster = warten_auf(20, self.sichtbares_fenster)
        geendet = "; the program had ended" if prozess.poll() is not None else ""
        assert fenster, f"no window captioned Zudedaruzu{geendet}"
        return fenster

    def blick(self, *worte):
        lauf = self.umgebung.ausfuehren(self.fensterblick, *worte, zeitlimit=20, attrappe=False, env=self.env)
        return lauf.stdout.strip() if lauf.returncode == 0 else None

    # Whether the window's middle shows the lavender background: it is mapped and its event loop runs.
    def gemalt(self, fenster):
        groesse = re.search(r"Geometry: (\d+)x(\d+)", self._xdotool("getwindowgeometry", fenster).stdout)
        return bool(groesse) and self.blick("pixel", fenster, int(groesse[1]) // 2, int(groesse[2]) // 2) == LAVENDEL

    # The close button's request (WM_DELETE_WINDOW), as a window manager sends it.
    def schliessen(self, fenster):
        assert self.blick("schliessen", fenster) is not None, "fensterblick could not send the close"

    # The window destroyed from outside (XDestroyWindow), with no request to the program first.
    def zerstoeren(self, fenster):
        assert self._xdotool("windowclose", fenster).returncode == 0, "xdotool could not destroy the window"


# Xvfb, which ends with what the test started; every program started afterwards shows its windows there.
@pytest.fixture
def anzeige(umgebung, bau, monkeypatch):
    a = Anzeige(umgebung, bau.fensterblick)
    monkeypatch.setenv("DISPLAY", a.name)
    monkeypatch.setenv("NO_AT_BRIDGE", "1")
    return a


# No display named: the programs run as at boot or over ssh.
@pytest.fixture
def ohne_anzeige(monkeypatch):
    monkeypatch.delenv("DISPLAY", raising=False)
    monkeypatch.delenv("WAYLAND_DISPLAY", raising=False)
