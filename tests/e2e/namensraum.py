# Private namespaces for the end-to-end tests, so that what a test mounts is never seen outside it:
# a command that runs where some paths show other files, and namespaces kept open for one test
# (/etc or the whole root under an overlay on a tmpfs, or a network of nothing but loopback) that
# the test's commands enter. Run as a program under `unshare`, this file makes the mounts its first
# argument (JSON) names and then runs the command that follows, or stays until it is ended.
# SPDX-License-Identifier: MIT
import fcntl
import json
import os
import signal
import subprocess
import sys
from pathlib import Path

import pytest

from sicher import GRUPPENSPERRE, erwarten

HIER = Path(__file__).resolve()
# The tools the packages' scripts take, inside a root of the test's own, whatever the caller's PATH.
PFAD = "PATH=/usr/sbin:/usr/bin:/sbin:/bin"


def _unshare(art, netz=False):
    return ["unshare", "--mount", "--propagation", "private", *["--net"] * netz, "/usr/bin/python3", str(HIER),
            json.dumps(art)]


def gebunden(bindungen, *befehl):
    # The words that run `befehl` in a private mount namespace where each path that is a value
    # of `bindungen` shows the file or folder that is its key.
    return [*_unshare({"binde": {str(q): str(z) for q, z in bindungen.items()}}), *map(str, befehl)]


class Namensraum:
    # A namespace kept for one test by a process that waits in it; commands enter it with
    # nsenter. A tmpfs in `ordner` holds, with `etc` or `wurzel`, an overlay of /etc or of the
    # whole root (then entered with chroot), in which the users and groups are as on a machine
    # without the group dadaviru, whatever other tests do to the machine's meanwhile; with
    # `netz`, the network is loopback alone, and `hosts` is its /etc/hosts.

    def __init__(self, umgebung, name, etc=False, wurzel=False, netz=False, hosts=None):
        self.umgebung, self.netz = umgebung, netz
        self.ordner = umgebung.arbeit / name
        self.ordner.mkdir()
        self.wurzel = self.ordner / "wurzel" if wurzel else None
        bereit, log = umgebung.arbeit / f"{name}.bereit", umgebung.arbeit / f"{name}.log"
        art = {"ordner": str(self.ordner), "etc": etc, "wurzel": wurzel, "netz": netz, "bereit": str(bereit),
               "binde": {str(hosts): "/etc/hosts"} if hosts else {}}
        self.prozess = umgebung.starten(*_unshare(art, netz), attrappe=False, ausgabe=log,
                                        fehlerausgabe=subprocess.STDOUT)
        erwarten(lambda: bereit.exists() or self.prozess.poll() is not None, 120, f"the namespace {name}")
        assert bereit.exists(), f"the namespace {name} failed: {log.read_text()}"

    def vorsatz(self):
        # The words that run a program in the namespace (in its root, if it has one of its
        # own). In the working folder it is started in, which entering a mount namespace
        # would leave for its root.
        worte = ["nsenter", f"--target={self.prozess.pid}", "--mount", *["--net"] * self.netz, "--wd=.", "--"]
        return worte + (["chroot", str(self.wurzel), "env", "-i", PFAD] if self.wurzel else [])

    # The programs run in there are the system's tools, the packages' scripts and the installed
    # helper, none of them under the clock interposer.
    def ausfuehren(self, *befehl, **optionen):
        return self.umgebung.ausfuehren(*self.vorsatz(), *befehl, attrappe=False, **optionen)

    def starten(self, *befehl, **optionen):
        return self.umgebung.starten(*self.vorsatz(), *befehl, attrappe=False, **optionen)

    def pfad(self, pfad):
        # A path inside the namespace as this process reaches it from outside.
        return Path(f"/proc/{self.prozess.pid}/root{self.wurzel or ''}{pfad}")


@pytest.fixture
def namensraeume(umgebung):
    # Opens namespaces for the test (the arguments of Namensraum); they end with its other
    # processes.
    if os.geteuid() != 0:
        pytest.skip("private namespaces need root")
    return lambda name, **art: Namensraum(umgebung, name, **art)


def _mount(*argumente):
    subprocess.run(["mount", *map(str, argumente)], check=True)


def main():
    art = {"ordner": None, "binde": {}, "etc": False, "wurzel": False, "netz": False, **json.loads(sys.argv[1])}
    if art["ordner"]:
        _mount("-t", "tmpfs", "-o", "mode=755", "dadaviru-namensraum", art["ordner"])
    for quelle, ziel in art["binde"].items():
        _mount("--bind", quelle, ziel)
    if art["netz"]:
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    if art["etc"] or art["wurzel"]:
        # The overlay shows the lock files that useradd and groupadd leave in the machine's /etc while
        # they run: held while the namespace lives, as by the tests that add users there.
        sperre = open(GRUPPENSPERRE, "w")
        fcntl.flock(sperre, fcntl.LOCK_EX)
        o = Path(art["ordner"])
        for teil in ("oben", "arbeit", "wurzel"):
            (o / teil).mkdir()
        unten, ziel, innen = ("/etc", "/etc", []) if art["etc"] else ("/", o / "wurzel", ["chroot", o / "wurzel"])
        _mount("-t", "overlay", "-o", f"lowerdir={unten},upperdir={o / 'oben'},workdir={o / 'arbeit'}",
               "dadaviru-overlay", ziel)
        if art["wurzel"]:
            _mount("-t", "proc", "proc", o / "wurzel/proc")
            _mount("--rbind", "/dev", o / "wurzel/dev")
        # Copied up, the files no longer follow the machine's.
        subprocess.run([*innen, "sh", "-c", "touch /etc/passwd /etc/shadow /etc/group /etc/gshadow; "
                        "if getent group dadaviru >/dev/null; then groupdel dadaviru; fi"], check=True)
    if sys.argv[2:]:
        os.execvp(sys.argv[2], sys.argv[2:])
    Path(art["bereit"]).touch()
    # Kept until ended; the namespace goes with the last process in it.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    while True:
        signal.pause()


if __name__ == "__main__":
    main()
