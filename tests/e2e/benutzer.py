# Throw-away users for the end-to-end tests: one in the group dadaviru and one outside it, made on
# this machine for one test and removed after it, even when the test is stopped by a signal; users
# a killed test left behind go at the next start. Needs root.
# SPDX-License-Identifier: MIT
import fcntl
import grp
import os
import pwd
import re
import signal
import subprocess

import pytest

PRAEFIX = "dvtest-"
# The group dadaviru is the machine's, and other tests (and the benchmark) add and remove it too:
# who holds this lock may rely on it.
SPERRE = "/run/lock/dadaviru-gruppe.lock"


def als(name):
    """The words that run a program as the user `name`, with the groups the group database gives them."""
    return ["setpriv", f"--reuid={name}", f"--regid={name}", "--init-groups", "--"]


def _lebt(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        pass
    return True


class Benutzer:
    def __init__(self):
        self.namen = []
        self.gruppe_angelegt = False
        self._sperre = None

    def anlegen(self):
        if os.geteuid() != 0:
            pytest.fail("throw-away users need root")
        # Each name carries the PID of the test that made it; a name whose test is gone is left over.
        for eintrag in pwd.getpwall():
            m = re.fullmatch(rf"{PRAEFIX}[mf](\d+)", eintrag.pw_name)
            if m and not _lebt(int(m[1])):
                subprocess.run(["userdel", eintrag.pw_name], stderr=subprocess.DEVNULL)
        self._sperre = open(SPERRE, "w")
        fcntl.flock(self._sperre, fcntl.LOCK_EX)
        try:
            grp.getgrnam("dadaviru")
        except KeyError:
            subprocess.run(["groupadd", "--system", "dadaviru"], check=True)
            self.gruppe_angelegt = True
        self.mitglied = self._anlegen("m", "--groups", "dadaviru")
        self.fremder = self._anlegen("f")

    def _anlegen(self, art, *optionen):
        name = f"{PRAEFIX}{art}{os.getpid()}"
        subprocess.run(["useradd", "--no-create-home", "--home-dir", "/nonexistent", "--shell", "/usr/sbin/nologin",
                        *optionen, name], check=True)
        self.namen.append(name)
        return name

    @property
    def als_mitglied(self):
        return als(self.mitglied)

    @property
    def als_fremder(self):
        return als(self.fremder)

    def entfernen(self):
        for name in self.namen:
            subprocess.run(["userdel", name], stderr=subprocess.DEVNULL)
        self.namen.clear()
        if self.gruppe_angelegt:
            subprocess.run(["groupdel", "dadaviru"], stderr=subprocess.DEVNULL)
            self.gruppe_angelegt = False
        if self._sperre:
            self._sperre.close()
            self._sperre = None


def _unterbrechen(signum, _):
    # As Ctrl-C: pytest then still tears the test's fixtures down, and with them its users.
    raise KeyboardInterrupt(f"signal {signum}")


@pytest.fixture
def benutzer():
    """The users `mitglied` (in the group dadaviru, made if the machine has none) and `fremder` (not)."""
    vorher = {s: signal.signal(s, _unterbrechen) for s in (signal.SIGTERM, signal.SIGHUP)}
    b = Benutzer()
    try:
        b.anlegen()
        yield b
    finally:
        b.entfernen()
        for s, handler in vorher.items():
            signal.signal(s, handler)
