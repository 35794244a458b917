# The one way every end-to-end test runs a real program, so none can touch this machine's clock:
# without CAP_SYS_TIME, with the system bus pointed at the test's private one or at an address where
# nothing listens, and under the clock interposer when the test asks for it. Also polling and the
# kernel's own times, which every test shares.
# SPDX-License-Identifier: MIT
import os
import subprocess
import time
from pathlib import Path

HELFER = Path(__file__).resolve().parents[2] / "tools" / "ohne_uhrrecht"
CAP_SYS_TIME = 25


class Fehlschlag(AssertionError):
    pass


def vorsatz(bus=None, uhrattrappe=None, uhr_protokoll=None):
    """The words before a program that run it through the project's run helper."""
    worte = [str(HELFER)]
    if bus:
        worte += ["--bus", bus]
    if uhrattrappe:
        worte += ["--attrappe", str(uhrattrappe), "--protokoll", str(uhr_protokoll or "/dev/null")]
    return worte + ["--"]


def uhrrecht_gebunden():
    """Whether this process could still set the clock: its bounding set holds CAP_SYS_TIME."""
    with open("/proc/self/status") as f:
        for zeile in f:
            if zeile.startswith("CapBnd:"):
                return bool(int(zeile.split()[1], 16) >> CAP_SYS_TIME & 1)
    return True


def warten_auf(sekunden, bedingung, intervall=0.05):
    """Polls `bedingung` until it returns something true, which it returns; None when time runs out."""
    ende = time.monotonic() + sekunden
    while True:
        try:
            ergebnis = bedingung()
        except (OSError, ValueError, subprocess.SubprocessError):
            ergebnis = None
        if ergebnis:
            return ergebnis
        if time.monotonic() >= ende:
            return None
        time.sleep(intervall)


def erwarten(bedingung, sekunden, was):
    """Like warten_auf, but a test failure naming `was` when time runs out."""
    ergebnis = warten_auf(sekunden, bedingung)
    if not ergebnis:
        raise Fehlschlag(f"{was}: not within {sekunden} s")
    return ergebnis


def beenden(prozess, frist=10):
    """Ends a process we started, and waits for it: TERM, then KILL."""
    if prozess.poll() is None:
        prozess.terminate()
        try:
            prozess.wait(frist)
        except subprocess.TimeoutExpired:
            prozess.kill()
            prozess.wait()


def endet_binnen(prozess, name, sekunden):
    """Waits for a program to end by itself; its exit status must be 0."""
    if warten_auf(sekunden, lambda: prozess.poll() is not None) is None:
        prozess.kill()
        prozess.wait()
        raise Fehlschlag(f"{name} did not end within {sekunden} s")
    if prozess.returncode != 0:
        raise Fehlschlag(f"{name} exited with status {prozess.returncode}")


def seit_boot():
    """Now, in seconds since boot as the kernel counts them (CLOCK_BOOTTIME)."""
    return time.clock_gettime(time.CLOCK_BOOTTIME)


def prozessbeginn(pid):
    """When the process was created, in the same seconds: the kernel's reading, not ours."""
    with open(f"/proc/{pid}/stat") as f:
        felder = f.read().rsplit(")", 1)[1].split()
    return int(felder[19]) / os.sysconf("SC_CLK_TCK")


def kann_32_bit():
    """Whether this machine's kernel runs 32-bit programs, and with them 32-bit Wine."""
    try:
        return subprocess.run(["/lib/ld-linux.so.2", "--version"], capture_output=True).returncode == 0
    except OSError:
        # Missing, or a format this kernel does not run.
        return False
