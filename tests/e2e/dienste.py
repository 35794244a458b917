# Time services on loopback for the end-to-end tests: the real zeitdienst or the tests' pruefdienst,
# each on a port it picks (or one the build's programs name), started through the run helper and
# waited for until it says where it listens; every request lands in its log.
# SPDX-License-Identifier: MIT
import re
import subprocess

import pytest

from sicher import beenden, erwarten

# The built-in services' answers in the runs, one date and time per pass.
PASS_ANTWORTEN = ["2001-01-01 01:01:01", "2002-02-02 02:02:02", "2003-03-03 03:03:03", "2004-04-04 04:04:04"]
# The requests of a run whose four sources all answer: pass 3 asks the built-in host's root.
PASSFOLGE = ["GET /zeit.php", "GET /zeit.php", "GET /", "GET /zeit.php"]


# This machine's NTP state is not the test's: unless the clock interposer tells the real service a
# state, it serves whatever the state.
def zeitdienst_optionen(attrappe):
    return [] if attrappe else ["--serve-unsynchronised"]


# Writes a file the clock interposer reads while the service runs (its step, its NTP state) in one
# move, so it never reads half of it; readable by the service, which serves as nobody.
def attrappe_sagen(datei, inhalt):
    neu = datei.with_name(datei.name + ".neu")
    neu.write_text(f"{inhalt}\n")
    neu.chmod(0o644)
    neu.rename(datei)


def _text(protokoll):
    return protokoll.read_text() if protokoll and protokoll.exists() else ""


class Dienst:
    def __init__(self, prozess, ausgabe, protokoll, adresse, port):
        self.prozess, self.ausgabe, self.protokoll, self.adresse, self.port = prozess, ausgabe, protokoll, adresse, port
        self.url = f"http://{adresse}:{port}/zeit.php"

    # The service itself, the child of the `timeout` it was started under.
    @property
    def pid(self):
        return int(open(f"/proc/{self.prozess.pid}/task/{self.prozess.pid}/children").read().split()[0])

    # The requests so far, "METHOD path" each (without the query), from the service's log.
    def anfragen(self):
        return [f"{m[1]} {m[2]}" for m in re.finditer(r'"(\S+) ([^ ?"]*)\S* [^"]*"', _text(self.protokoll))]


class Dienste:
    def __init__(self, umgebung, bau):
        self.umgebung, self.bau, self.alle = umgebung, bau, []
        # The log every service of the test shares, so the order of requests across them shows.
        self.protokoll = umgebung.arbeit / "anfragen"

    def starten(self, *optionen, programm=None, adresse="127.0.0.1", port=0, protokoll=True, attrappe=True, netz=None):
        ausgabe = self.umgebung.arbeit / f"dienst.{len(self.alle) + 1}"
        # A service outlives no test by long, even one that is killed.
        prozess = self.umgebung.starten(*["ip", "netns", "exec", netz] * bool(netz), "timeout", "-k", "5", "900",
                                        programm or self.bau.pruefdienst, "--bind", adresse, "--port", port,
                                        *["--log", self.protokoll] * protokoll, *optionen,
                                        ausgabe=ausgabe, fehlerausgabe=subprocess.STDOUT, attrappe=attrappe)

        def gestartet():
            m = re.search(r": listening on .*:(\d+)$", ausgabe.read_text(), re.M)
            # One that ended (its port taken, say) will not listen any more: its words, at once.
            assert m or prozess.poll() is None, f"the service on {adresse}:{port} ended: {ausgabe.read_text()}"
            return m and int(m[1])

        port = erwarten(gestartet, 20, f"the service on {adresse}:{port}")
        self.alle.append(Dienst(prozess, ausgabe, self.protokoll if protokoll else None, adresse, port))
        return self.alle[-1]

    def eingebaut(self, nummer, *optionen):
        adresse, port = self.bau.hosts[nummer].rsplit(":", 1)
        return self.starten(*optionen, adresse=adresse, port=port)

    def zeitdienst(self, *optionen, programm=None, attrappe=False, **weiter):
        return self.starten(*zeitdienst_optionen(attrappe), *optionen, programm=programm or self.bau.zeitdienst,
                            attrappe=attrappe, **weiter)

    # The real service started by hand and run to its end, as its options' checks and the user's setup end it.
    def zeitdienst_lauf(self, *optionen):
        return self.umgebung.ausfuehren(self.bau.zeitdienst, *optionen, zeitlimit=20, attrappe=False)

    def anfragen(self):
        return Dienst(None, None, self.protokoll, None, None).anfragen()

    # Waits for a run's first request and checks that the service saw it Timer_start's interval or more
    # after `beginn`, when the program's process was made: both times are the kernel's.
    def erste_anfrage_nach_der_wartezeit(self, beginn):
        erste = erwarten(lambda: [float(z.split()[1]) for z in _text(self.protokoll).splitlines() if z.strip()], 60,
                         "the program's first request")[0]
        assert erste - beginn >= int(self.bau.wartezeit_ms) / 1000, f"asked {erste} s after boot, started at {beginn} s"

    # The first three where the build's programs ask them, or at `adressen` ((address, port) each); the
    # fourth is named in dadaviru.txt, and `uebersteuerung` formats that line from its URL.
    def vier_starten(self, verzoegerung_ms=0, uebersteuerung=str, adressen=None, attrappe=True):
        adressen = [*(adressen or [host.rsplit(":", 1) for host in self.bau.hosts]), ("127.0.0.4", 0)]
        for (adresse, port), antwort in zip(adressen, PASS_ANTWORTEN):
            self.starten("--delay", verzoegerung_ms, "--body", antwort, adresse=adresse, port=port, attrappe=attrappe)
        (self.umgebung.arbeit / "dadaviru.txt").write_text(uebersteuerung(self.alle[-1].url) + "\n")
        return self.alle[-1]

    def beenden(self):
        for d in self.alle:
            beenden(d.prozess)
        self.alle.clear()


# The services both HTTP clients' tests ask, as "name=port name=port ...".
def inet_dienste_starten(dienste):
    namen = {}

    def benannt(name, *optionen):
        namen[name] = dienste.starten(*optionen)
        return namen[name].url

    # Each of tropfen, langsam, stockend and kopftropfen would hold a client for 30 s or more, far beyond
    # the tests' limit.
    for name, *optionen in [("normal",), ("fehler500", "--status", "500", "--body", "2026-12-07 13:45:09"),
                            ("zur_datei", "--redirect", "file:///etc/hostname"), ("kreis", "--redirect", "/zeit.php"),
                            ("tropfen", "--drip", "100"), ("langsam", "--delay", "30000"),
                            ("stockend", "--drip", "30000"), ("kopftropfen", "--drip-head", "500"),
                            ("riesig", "--huge", "100"), ("zu_lang", "--body", "x" * 65537),
                            ("gerade_noch", "--body", "x" * 65536)]:
        benannt(name, *optionen)
    benannt("umleitung", "--redirect", benannt("ziel", "--body", "2026-12-07 13:45:09"))
    # A chain of redirects, each to the one before: kette5 takes five hops to "ok", kette6 six.
    vorige = benannt("kette0", "--body", "ok")
    for i in range(1, 7):
        vorige = benannt(f"kette{i}", "--redirect", vorige)
    return " ".join(f"{name}={d.port}" for name, d in namen.items())


@pytest.fixture
def dienste(umgebung, bau):
    d = Dienste(umgebung, bau)
    yield d
    d.beenden()
