# Time services on loopback for the end-to-end tests: the real zeitdienst or the tests' pruefdienst,
# each on a port it picks (or one the build's programs name), started through the run helper and
# waited for until it says where it listens; every request lands in its log.
# SPDX-License-Identifier: MIT
import re
import subprocess

import pytest

from sicher import Fehlschlag, erwarten

# The built-in services' answers in the runs, one date and time per pass.
PASS_ANTWORTEN = ["2001-01-01 01:01:01", "2002-02-02 02:02:02", "2003-03-03 03:03:03", "2004-04-04 04:04:04"]
# The requests of a run whose four sources all answer: pass 3 asks the built-in host's root.
PASSFOLGE = ["GET /zeit.php", "GET /zeit.php", "GET /", "GET /zeit.php"]


def zeitdienst_optionen(attrappe):
    """What the real service is started with beyond the test's own options. This machine's NTP state
    is not the test's: unless the clock interposer tells the service a state, it serves whatever the
    state."""
    return [] if attrappe else ["--serve-unsynchronised"]


def attrappe_sagen(datei, inhalt):
    """Writes a file the clock interposer reads while the service runs (its step, its NTP state) in one
    move, so it never reads half of it; readable by the service, which serves as nobody."""
    neu = datei.with_name(datei.name + ".neu")
    neu.write_text(f"{inhalt}\n")
    neu.chmod(0o644)
    neu.rename(datei)


class Dienst:
    def __init__(self, prozess, ausgabe, protokoll, adresse, port):
        self.prozess, self.ausgabe, self.protokoll = prozess, ausgabe, protokoll
        self.adresse, self.port = adresse, port

    @property
    def url(self):
        return f"http://{self.adresse}:{self.port}/zeit.php"

    def anfragen(self):
        """The requests so far, "METHOD path" each (without the query), from the service's log."""
        if not self.protokoll or not self.protokoll.exists():
            return []
        return [f"{m[1]} {m[2]}" for m in re.finditer(r'"(\S+) ([^ ?"]*)\S* [^"]*"', self.protokoll.read_text())]

    def eingaenge_seit_boot(self):
        """When the service saw the head of each request, in seconds since boot (the kernel's count)."""
        if not self.protokoll or not self.protokoll.exists():
            return []
        return [float(z.split()[1]) for z in self.protokoll.read_text().splitlines() if z.strip()]


class Dienste:
    """Starts services for one test; they end with it."""

    def __init__(self, umgebung, bau):
        self.umgebung, self.bau = umgebung, bau
        self.alle = []
        # The log every service of the test shares, so the order of requests across them shows.
        self.protokoll = umgebung.arbeit / "anfragen"

    def starten(self, *optionen, programm=None, adresse="127.0.0.1", port=0, protokoll=True, attrappe=True, netz=None):
        """`netz`: a network namespace to start the service in."""
        nummer = len(self.alle) + 1
        ausgabe = self.umgebung.arbeit / f"dienst.{nummer}"
        log = ["--log", str(self.protokoll)] if protokoll else []
        with open(ausgabe, "w") as aus:
            # A service outlives no test by long, even one that is killed.
            im_netz = ["ip", "netns", "exec", netz] if netz else []
            prozess = self.umgebung.starten(*im_netz, "timeout", "-k", "5", "900", programm or self.bau.pruefdienst,
                                            "--bind", adresse, "--port", port, *log, *optionen,
                                            ausgabe=aus, fehlerausgabe=subprocess.STDOUT, attrappe=attrappe)

        def gestartet():
            m = re.search(r": listening on .*:(\d+)$", ausgabe.read_text(), re.M)
            # One that ended (its port taken, say) will not listen any more: its words, at once.
            if not m and prozess.poll() is not None:
                raise Fehlschlag(f"the service on {adresse}:{port} ended: {ausgabe.read_text()}")
            return m and int(m[1])

        port = erwarten(gestartet, 20, f"the service on {adresse}:{port}")
        dienst = Dienst(prozess, ausgabe, self.protokoll if protokoll else None, adresse, port)
        self.alle.append(dienst)
        return dienst

    def zeitdienst(self, *optionen, programm=None, attrappe=False, **weiter):
        """The real time service (or `programm`, which becomes it), on the real clock unless `attrappe`."""
        return self.starten(*zeitdienst_optionen(attrappe), *optionen, programm=programm or self.bau.zeitdienst,
                            attrappe=attrappe, **weiter)

    def anfragen(self):
        return Dienst(None, None, self.protokoll, None, None).anfragen()

    def eingaenge_seit_boot(self):
        return Dienst(None, None, self.protokoll, None, None).eingaenge_seit_boot()

    def erste_anfrage_nach_der_wartezeit(self, beginn):
        """Waits for a run's first request and checks that the service saw it Timer_start's interval or
        more after `beginn`, when the program's process was made: both times are the kernel's."""
        erste = erwarten(self.eingaenge_seit_boot, 60, "the program's first request")[0]
        assert erste - beginn >= int(self.bau.wartezeit_ms) / 1000, f"asked {erste} s after boot, started at {beginn} s"

    def vier_starten(self, verzoegerung_ms=0, uebersteuerung=None):
        """The three built-in services and a fourth named in dadaviru.txt, each answering with the
        date and time of its pass; `uebersteuerung` formats the override file's line from its URL."""
        for host, antwort in zip(self.bau.hosts, PASS_ANTWORTEN):
            adresse, port = host.rsplit(":", 1)
            self.starten("--delay", verzoegerung_ms, "--body", antwort, adresse=adresse, port=port)
        vierter = self.starten("--delay", verzoegerung_ms, "--body", PASS_ANTWORTEN[3], adresse="127.0.0.4")
        (self.umgebung.arbeit / "dadaviru.txt").write_text((uebersteuerung or str)(vierter.url) + "\n")
        return vierter

    def beenden(self):
        from sicher import beenden
        for d in self.alle:
            beenden(d.prozess)
        self.alle.clear()


def inet_dienste_starten(dienste):
    """The services both HTTP clients' tests ask, as "name=port name=port ..."."""
    namen = []

    def benannt(name, *optionen):
        d = dienste.starten(*optionen)
        namen.append(f"{name}={d.port}")
        return d

    benannt("normal")
    benannt("fehler500", "--status", "500", "--body", "2026-12-07 13:45:09")
    ziel = benannt("ziel", "--body", "2026-12-07 13:45:09")
    benannt("umleitung", "--redirect", ziel.url)
    benannt("zur_datei", "--redirect", "file:///etc/hostname")
    benannt("kreis", "--redirect", "/zeit.php")
    # A chain of redirects, each to the one before: kette5 takes five hops to "ok", kette6 six.
    vorige = benannt("kette0", "--body", "ok")
    for i in range(1, 7):
        vorige = benannt(f"kette{i}", "--redirect", vorige.url)
    # Each of these would hold a client for 30 s or more, far beyond the tests' limit.
    benannt("tropfen", "--drip", "100")
    benannt("langsam", "--delay", "30000")
    benannt("stockend", "--drip", "30000")
    benannt("kopftropfen", "--drip-head", "500")
    benannt("riesig", "--huge", "100")
    benannt("zu_lang", "--body", "x" * 65537)
    benannt("gerade_noch", "--body", "x" * 65536)
    return " ".join(namen)


@pytest.fixture
def dienste(umgebung, bau):
    d = Dienste(umgebung, bau)
    yield d
    d.beenden()
