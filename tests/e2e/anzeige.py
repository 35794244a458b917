# A virtual X display (Xvfb) for the desktop tests, and the looks at its windows they need: finding
# the program's window, its colours through the window probe fensterblick, and closing it.
# SPDX-License-Identifier: MIT
import re
import subprocess

import pytest

from sicher import erwarten, warten_auf

LAVENDEL = "c0c0ff"


class Anzeige:
    def __init__(self, umgebung, fensterblick):
        self.umgebung, self.fensterblick = umgebung, fensterblick
        ausgabe = umgebung.arbeit / "anzeige"
        with open(ausgabe, "w") as aus:
            # -displayfd: Xvfb picks a free display and names it once it takes connections.
            self.prozess = umgebung.starten("Xvfb", "-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp",
                                            ausgabe=aus, attrappe=False)
        nummer = erwarten(lambda: ausgabe.read_text().strip(), 20, "Xvfb")
        self.name = f":{nummer}"
        # What a program started with an environment of its own needs to show its windows here.
        self.env = {"DISPLAY": self.name, "WAYLAND_DISPLAY": None, "NO_AT_BRIDGE": 1}

    def _xdotool(self, *worte):
        return subprocess.run(["xdotool", *worte], capture_output=True, text=True, timeout=20,
                              env=self.umgebung._umgebung({"DISPLAY": self.name}))

    def sichtbares_fenster(self):
        """The visible window captioned Zudedaruzu, or None. xdotool ends with an X error (BadWindow)
        when a window it looks at is destroyed during its search, as the helper windows of a program
        that starts or ends are, so None means only "not seen this time"."""
        treffer = self._xdotool("search", "--onlyvisible", "--name", "^Zudedaruzu$").stdout.split()
        return treffer[0] if treffer else None

    def fenster_abwarten(self, prozess):
        """The program's window once it is mapped. Polled, not `xdotool search --sync`, which gives up
        at the first X error above."""
        fenster = warten_auf(20, self.sichtbares_fenster)
        geendet = "; the program had ended" if prozess.poll() is not None else ""
        assert fenster, f"no window captioned Zudedaruzu{geendet}"
        return fenster

    def blick(self, *worte):
        lauf = self.umgebung.ausfuehren(self.fensterblick, *worte, zeitlimit=20, attrappe=False,
                                        env={"DISPLAY": self.name})
        return lauf.stdout.strip() if lauf.returncode == 0 else None

    def lavendel_innen(self, fenster):
        """How far the lavender client area runs, "WxH"; a frame around it, where a window manager or
        Wine draws one, does not count."""
        return self.blick("flaeche", fenster, LAVENDEL)

    def gemalt(self, fenster):
        """Whether the window's middle shows the lavender background: it is mapped and its event loop
        runs."""
        geometrie = re.search(r"Geometry: (\d+)x(\d+)", self._xdotool("getwindowgeometry", fenster).stdout)
        return bool(geometrie) and self.blick("pixel", fenster, int(geometrie[1]) // 2,
                                              int(geometrie[2]) // 2) == LAVENDEL

    def schliessen(self, fenster):
        """The close button's request (WM_DELETE_WINDOW), as a window manager sends it."""
        assert self.blick("schliessen", fenster) is not None, "fensterblick could not send the close"

    def zerstoeren(self, fenster):
        """The window destroyed from outside (XDestroyWindow), with no request to the program first."""
        assert self._xdotool("windowclose", fenster).returncode == 0, "xdotool could not destroy the window"


@pytest.fixture
def anzeige(umgebung, bau, monkeypatch):
    """Xvfb; every program the test starts afterwards shows its windows there."""
    a = Anzeige(umgebung, bau.fensterblick)
    monkeypatch.setenv("DISPLAY", a.name)
    monkeypatch.setenv("NO_AT_BRIDGE", "1")
    # Xvfb ends with what the test started, after the programs that use it.
    return a


@pytest.fixture
def ohne_anzeige(monkeypatch):
    """No display named: the programs run as at boot or over ssh."""
    monkeypatch.delenv("DISPLAY", raising=False)
    monkeypatch.delenv("WAYLAND_DISPLAY", raising=False)
