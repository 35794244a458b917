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
from pathlib import Path
from types import SimpleNamespace

import pytest

from sicher import GRUPPENSPERRE

PRAEFIX = "dvtest-"


def als(name):
    # The words that run a program as the user `name`, with the groups the group database gives
    # them.
    return ["setpriv", f"--reuid={name}", f"--regid={name}", "--init-groups", "--"]


def useradd(name, *optionen):
    return ["useradd", "--no-create-home", "--home-dir=/nonexistent", "--shell=/usr/sbin/nologin", *optionen, name]


def _unterbrechen(signum, _):
    # As Ctrl-C: pytest then still tears the test's fixtures down, and with them its users.
    raise KeyboardInterrupt(f"signal {signum}")


@pytest.fixture
def benutzer():
    # The users `mitglied` (in the group dadaviru, made if the machine has none) and `fremder`
    # (not).
    if os.geteuid() != 0:
        pytest.fail("throw-away users need root")
    # Each name carries the PID of the test that made it; a name whose test is gone is left over.
    for eintrag in pwd.getpwall():
        m = re.fullmatch(rf"{PRAEFIX}[mf](\d+)", eintrag.pw_name)
        if m and not Path(f"/proc/{m[1]}").exists():
            subprocess.run(["userdel", eintrag.pw_name], stderr=subprocess.DEVNULL)
    mitglied, fremder = f"{PRAEFIX}m{os.getpid()}", f"{PRAEFIX}f{os.getpid()}"
    with open(GRUPPENSPERRE, "w") as sperre:
        fcntl.flock(sperre, fcntl.LOCK_EX)
        gruppe_anlegen = "dadaviru" not in {g.gr_name for g in grp.getgrall()}
        vorher = {s: signal.signal(s, _unterbrechen) for s in (signal.SIGTERM, signal.SIGHUP)}
        try:
            if gruppe_anlegen:
                subprocess.run(["groupadd", "--system", "dadaviru"], check=True)
            subprocess.run(useradd(mitglied, "--groups", "dadaviru"), check=True)
            subprocess.run(useradd(fremder), check=True)
            yield SimpleNamespace(als_mitglied=als(mitglied), als_fremder=als(fremder))
        finally:
            for name in (mitglied, fremder):
                subprocess.run(["userdel", name], stderr=subprocess.DEVNULL)
            if gruppe_anlegen:
                subprocess.run(["groupdel", "dadaviru"], stderr=subprocess.DEVNULL)
            for s, handler in vorher.items():
                signal.signal(s, handler)
