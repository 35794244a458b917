# The one way every end-to-end test runs a real program, so none can touch this machine's clock:
# without CAP_SYS_TIME, with the system bus pointed at the test's private one or at an address where
# nothing listens, and under the clock interposer when the test asks for it. Also polling and the
# kernel's own times, which every test shares.
# SPDX-License-Identifier: MIT
import contextlib
import os
import subprocess
import time
from pathlib import Path

HELFER = Path(__file__).resolve().parents[2] / "tools" / "ohne_uhrrecht"
CAP_SYS_TIME = 25
# The group dadaviru and the users in /etc are the machine's, and other tests (and the benchmark)
# add and remove them too: who holds this lock may rely on them.
GRUPPENSPERRE = "/run/lock/dadaviru-gruppe.lock"


def vorsatz(bus=None, uhrattrappe=None, uhr_protokoll=None):
    attrappe = ["--attrappe", str(uhrattrappe), "--protokoll", str(uhr_protokoll or "/dev/null")] if uhrattrappe else []
    return [str(HELFER), *(["--bus", bus] if bus else []), *attrappe, "--"]


# This process's environment with `env`'s names set, or removed where their value is None.
def umgebung_mit(env):
    return {name: str(wert) for name, wert in {**os.environ, **(env or {})}.items() if wert is not None}


def uhrrecht_gebunden():
    zeile = next(z for z in Path("/proc/self/status").read_text().splitlines() if z.startswith("CapBnd:"))
    return bool(int(zeile.split()[1], 16) >> CAP_SYS_TIME & 1)


# `bedingung`'s first true result, or None when time runs out; what it reads may not exist yet.
def warten_auf(sekunden, bedingung, intervall=0.05):
    ende = time.monotonic() + sekunden
    while True:
        with contextlib.suppress(OSError, ValueError, subprocess.SubprocessError):
            if ergebnis := bedingung():
                return ergebnis
        if time.monotonic() >= ende:
            return None
        time.sleep(intervall)


def erwarten(bedingung, sekunden, was):
    if not (ergebnis := warten_auf(sekunden, bedingung)):
        raise AssertionError(f"{was}: not within {sekunden} s")
    return ergebnis


def beenden(prozess, frist=10):
    prozess.terminate()
    if not warten_auf(frist, lambda: prozess.poll() is not None):
        prozess.kill()
        prozess.wait()


def endet_binnen(prozess, name, sekunden):
    geendet = warten_auf(sekunden, lambda: prozess.poll() is not None)
    beenden(prozess)
    assert geendet, f"{name} did not end within {sekunden} s"
    assert prozess.returncode == 0, f"{name} exited with status {prozess.returncode}"


# A tool's output, stripped; its failure fails the test, with what it said.
def aus(*befehl, **optionen):
    befehl = [str(wort) for wort in befehl]
    lauf = subprocess.run(befehl, capture_output=True, text=True, **optionen)
    assert lauf.returncode == 0, f"{' '.join(befehl)} exited with {lauf.returncode}: {lauf.stdout}{lauf.stderr}"
    return lauf.stdout.strip()


# When the process was created, in seconds since boot (CLOCK_BOOTTIME): the kernel's reading, not ours.
def prozessbeginn(pid):
    felder = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return int(felder[19]) / os.sysconf("SC_CLK_TCK")


def kann_32_bit():
    try:
        return subprocess.run(["/lib/ld-linux.so.2", "--version"], capture_output=True).returncode == 0
    except OSError:
        # Missing, or a format this kernel does not run.
        return False
