# Private namespaces for the end-to-end tests, so that what a test mounts is never seen outside it:
# a command that runs where some paths show other files, and namespaces kept open for one test
# (/etc or the whole root under an overlay on a tmpfs, or a network of nothing but loopback) that
# the test's commands enter. Run as a program under `unshare`, this file makes the mounts it is told
# and then runs the command, or stays until it is ended.
# SPDX-License-Identifier: MIT
import argparse
import os
import signal
import subprocess
import sys
from pathlib import Path

from sicher import beenden, erwarten

HIER = Path(__file__).resolve()
PYTHON = "/usr/bin/python3"
# The tools the packages' scripts take, inside a root of the test's own, whatever the caller's PATH.
PFAD = "PATH=/usr/sbin:/usr/bin:/sbin:/bin"


def gebunden(bindungen, *befehl):
    """The words that run `befehl` in a private mount namespace where each path that is a value of
    `bindungen` shows the file or folder that is its key."""
    binden = [f"--binde={quelle}={ziel}" for quelle, ziel in bindungen.items()]
    return ["unshare", "--mount", "--propagation", "private", PYTHON, str(HIER), *binden, "--", *map(str, befehl)]


class Namensraum:
    """A namespace kept for one test by a process that waits in it; commands enter it with nsenter.
    With `etc` or `wurzel`, a tmpfs in `ordner` holds an overlay of /etc or of the whole root (then
    entered with chroot), in which the users and groups are as on a machine without the group
    dadaviru, whatever other tests do to the machine's meanwhile; with `netz`, the network is
    loopback alone, and `hosts` is its /etc/hosts."""

    def __init__(self, umgebung, name, etc=False, wurzel=False, netz=False, hosts=None):
        self.umgebung = umgebung
        self.ordner = umgebung.arbeit / name
        self.ordner.mkdir()
        bereit = umgebung.arbeit / f"{name}.bereit"
        art = ["--etc"] * etc + ["--wurzel"] * wurzel + ["--netz"] * netz + [f"--binde={hosts}=/etc/hosts"] * bool(hosts)
        art += [f"--ordner={self.ordner}"] * (etc or wurzel)
        with open(umgebung.arbeit / f"{name}.log", "w") as log:
            self.prozess = umgebung.starten("unshare", "--mount", "--propagation", "private", *["--net"] * netz,
                                            PYTHON, HIER, f"--bereit={bereit}", *art,
                                            attrappe=False, ausgabe=log, fehlerausgabe=subprocess.STDOUT)
        erwarten(lambda: bereit.exists() or self.prozess.poll() is not None, 30, f"the namespace {name}")
        if not bereit.exists():
            raise AssertionError(f"the namespace {name} failed: {(umgebung.arbeit / f'{name}.log').read_text()}")
        self.wurzel = self.ordner / "wurzel" if wurzel else None

    def vorsatz(self, netz=False):
        """The words that run a program in the namespace (in its root, if it has one of its own)."""
        # In the working folder it is started in, which entering a mount namespace would leave for its root.
        worte = ["nsenter", f"--target={self.prozess.pid}", "--mount", *["--net"] * netz, "--wd=.", "--"]
        return worte + (["chroot", str(self.wurzel), "env", "-i", PFAD] if self.wurzel else [])

    # The programs run in there are the system's tools, the packages' scripts and the installed
    # helper, none of them under the clock interposer unless a test asks.
    def ausfuehren(self, *befehl, attrappe=False, **optionen):
        return self.umgebung.ausfuehren(*self.vorsatz(), *befehl, attrappe=attrappe, **optionen)

    def starten(self, *befehl, attrappe=False, **optionen):
        return self.umgebung.starten(*self.vorsatz(), *befehl, attrappe=attrappe, **optionen)

    def pfad(self, pfad):
        """A path inside the namespace as this process reaches it from outside."""
        return Path(f"/proc/{self.prozess.pid}/root{self.wurzel or ''}{pfad}")

    def beenden(self):
        beenden(self.prozess)


def _mount(*argumente):
    subprocess.run(["mount", *argumente], check=True)


def _einrichten(args):
    """Run in the new namespace: the mounts, then the group database as on a machine without dadaviru."""
    if args.ordner:
        _mount("-t", "tmpfs", "-o", "mode=755", "dadaviru-namensraum", args.ordner)
    for bindung in args.binde:
        quelle, ziel = bindung.split("=", 1)
        _mount("--bind", quelle, ziel)
    if args.netz:
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    if args.etc or args.wurzel:
        o = Path(args.ordner)
        for teil in ("oben", "arbeit", *["wurzel"] * args.wurzel):
            (o / teil).mkdir()
        unten, ziel, innen = ("/etc", "/etc", []) if args.etc else ("/", o / "wurzel", ["chroot", o / "wurzel"])
        _mount("-t", "overlay", "-o", f"lowerdir={unten},upperdir={o / 'oben'},workdir={o / 'arbeit'}",
               "dadaviru-overlay", ziel)
        if args.wurzel:
            _mount("-t", "proc", "proc", o / "wurzel/proc")
            _mount("--rbind", "/dev", o / "wurzel/dev")
        # Copied up, the files no longer follow the machine's.
        subprocess.run([*innen, "sh", "-c", "touch /etc/passwd /etc/shadow /etc/group /etc/gshadow; "
                        "if getent group dadaviru >/dev/null; then groupdel dadaviru; fi"], check=True)


def main():
    teiler = sys.argv.index("--") if "--" in sys.argv else len(sys.argv)
    parser = argparse.ArgumentParser()
    parser.add_argument("--binde", action="append", default=[], metavar="QUELLE=ZIEL")
    parser.add_argument("--ordner")
    parser.add_argument("--bereit")
    parser.add_argument("--etc", action="store_true")
    parser.add_argument("--wurzel", action="store_true")
    parser.add_argument("--netz", action="store_true")
    args = parser.parse_args(sys.argv[1:teiler])
    befehl = sys.argv[teiler + 1:]
    _einrichten(args)
    if befehl:
        os.execvp(befehl[0], befehl)
    Path(args.bereit).touch()
    # Kept until ended; the namespace goes with the last process in it.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    while True:
        signal.pause()


if __name__ == "__main__":
    main()
else:
    import pytest

    @pytest.fixture
    def namensraeume(umgebung):
        """Opens namespaces for the test (the arguments of Namensraum); they end with it."""
        if os.geteuid() != 0:
            pytest.skip("private namespaces need root")
        offen = []

        def oeffnen(name, **art):
            offen.append(Namensraum(umgebung, name, **art))
            return offen[-1]

        yield oeffnen
        for n in reversed(offen):
            n.beenden()
