# The clock interposer, which keeps this machine's clock safe in every test, tested itself: its
# probe writes the clock under it, and the log says each write line for line; processes naming one
# file share one virtual clock; a step file moves a running program's clock.
# SPDX-License-Identifier: MIT
import os
import time

import pytest

from dienste import attrappe_sagen
from sicher import erwarten


@pytest.fixture
def probe(umgebung, bau):
    def laufen(*befehl, env=None, attrappe=True):
        lauf = umgebung.ausfuehren(*(befehl or [bau.uhrattrappe_probe]), env=env, attrappe=attrappe, pruefen=True)
        return lauf.stdout.strip()
    return laufen


def test_protokoll_zeile_fuer_zeile(probe, umgebung):
    probe(env={"TZ": "Europe/Berlin", "UHRATTRAPPE_START": 1000000000})
    zeilen = [z.split() for z in umgebung.uhr_protokoll.read_text().splitlines()]
    # Winter and summer time, nanoseconds zero-padded, settimeofday's microseconds as nanoseconds.
    assert [" ".join(z[:4]) for z in zeilen] == [
        "clock_settime 1796644800.000000000 2026-12-07 13:00:00",
        "clock_settime 1782900000.000005000 2026-07-01 12:00:00",
        "settimeofday 1784455200.250000000 2026-07-19 12:00:00"]
    # Beside each value the real time of the write, and the program that wrote.
    jetzt = time.time()
    for z in zeilen:
        assert jetzt - 60 < float(z[4]) <= jetzt + 1 and z[5] == "uhrattrappe_probe", z


def test_gemeinsame_uhr(probe, umgebung):
    # What one process writes, the next one reads; a process without the shared clock reads real
    # time.
    geteilt = {"UHRATTRAPPE_GEMEINSAM": umgebung.arbeit / "uhr.geteilt"}
    probe(env=geteilt)
    assert probe("date", "-u", "+%F", env=geteilt) == "2026-07-19"
    assert probe("date", "-u", "+%F") == probe("date", "-u", "+%F", attrappe=False)


def test_ohne_start_und_protokoll(probe, bau):
    # Loaded by hand, since the run helper always names a log; ahead of a sanitizer's runtime,
    # as there.
    asan = ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"), "verify_asan_link_order=0"]))
    probe(env={"LD_PRELOAD": bau.uhrattrappe, "ASAN_OPTIONS": asan, "UHRATTRAPPE_START": None,
               "UHRATTRAPPE_PROTOKOLL": None}, attrappe=False)


def test_sprung_hin_und_zurueck(umgebung):
    # bash reads the wall clock for $EPOCHSECONDS, so a bash under the interposer shows the step
    # itself; the test waits for the step to be seen, not for any time.
    sprung, ausgabe = umgebung.arbeit / "sprung", umgebung.arbeit / "epoche"
    umgebung.starten("bash", "-c", 'while :; do echo "$EPOCHSECONDS" > "$1.neu"; mv "$1.neu" "$1"; sleep 0.05; done',
                     "_", ausgabe, env={"UHRATTRAPPE_SPRUNG": sprung})
    def gesehen(bedingung, was):
        erwarten(lambda: bedingung(int(ausgabe.read_text())), 20, was)

    vorher = erwarten(lambda: int(ausgabe.read_text()), 20, "the bash under the interposer")
    attrappe_sagen(sprung, -3600)
    gesehen(lambda s: s <= vorher - 3500, "the step back")
    attrappe_sagen(sprung, 0)
    gesehen(lambda s: s >= vorher, "the step forward")
    attrappe_sagen(sprung, 7200)
    gesehen(lambda s: s >= vorher + 7100, "the second step forward")
    sprung.unlink()
    gesehen(lambda s: s < vorher + 3600, "the end of a removed file's step")
