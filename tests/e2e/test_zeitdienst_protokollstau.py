# The time service logging to a pipe that nobody reads, as to a journal that has stopped reading: the
# answers go on, and on time; the lines that find no room are counted, and the count is logged once
# the pipe is read again; and every line that is logged is whole.
# SPDX-License-Identifier: MIT
import os
import re
import time

import pytest

from dienste import zeitdienst_optionen
from sicher import erwarten

CLF = re.compile(r'127\.0\.0\.1 - - \[[^]]*\] "GET /\S* HTTP/1\.1" 200 19')
ZAEHLUNG = re.compile(r"zeitdienst: (\d+) log lines dropped")


def flut(roh, port):
    # Eight rounds of 50 connections with 8 requests each, pipelined: the service answers them at the
    # tick and closes each connection with its eighth answer. Long targets make long lines, so the pipe
    # and what waits for it are full within the first rounds. How many answers came.
    anfragen = b"".join(b"GET /?%d%s HTTP/1.1\r\nHost: x\r\n\r\n" % (i, b"0" * 200) for i in range(1, 9))
    antworten = 0
    for runde in range(1, 9):
        for nummer, v in enumerate([roh.verbinden(port, anfragen) for _ in range(50)]):
            beginn = time.monotonic()
            n = sum(a.status == 200 for a in iter(v.lesen, None))
            v.close()
            assert n == 8, (f"the service stopped answering: round {runde}: {n} answers on connection {nummer} "
                            f"({v.ende} after {time.monotonic() - beginn:.1f} s; then {v.puffer[:120]!r}), "
                            f"after {antworten} answers in all")
            antworten += n
    return antworten


@pytest.mark.ctest(zeitlimit=180)
def test_log_nicht_gelesen(umgebung, bau, roh, monkeypatch):
    monkeypatch.setenv("TZ", "UTC")
    pfad = umgebung.arbeit / "rohr"
    os.mkfifo(pfad)
    gelesen = bytearray()
    # The service's end blocks as a journal's socket does; the test's own end never waits.
    with open(pfad, "r+b", buffering=0) as rohr, open(pfad, "rb", buffering=0) as leser:
        os.set_blocking(leser.fileno(), False)

        def lesen():
            while stueck := leser.read(65536):
                gelesen.extend(stueck)
            return gelesen.decode("latin-1")

        # The log is standard output; its first line, where the service listens, is all that is read of
        # it until the end. With few places the service keeps few lines waiting for the log; but room for
        # two rounds of the load, since a round's connections may come while a loop still holds the
        # places of the last one, and for a new client the one longest at its head would be closed.
        umgebung.starten("timeout", "-k", "5", "900", bau.zeitdienst, "--bind", "127.0.0.1", "--port", 0, "--log", "-",
                         "--max-connections", 128, *zeitdienst_optionen(False), ausgabe=rohr, attrappe=False)
        port = int(erwarten(lambda: re.search(r":(\d+)\n", lesen()), 20, "the service's start")[1])
        del gelesen[:]
        # The log not read: thousands of answers, at their ticks.
        antworten = flut(roh, port)
        roh.verbinden(port).zeit()
        # Read again: every line whole, and those dropped counted.
        erwarten(lambda: re.search(r"log lines dropped$", lesen(), re.M), 30, "a count of dropped lines")
        roh.holen(port, "/?zuletzt")
        erwarten(lambda: "GET /?zuletzt " in lesen(), 30, "the log going on")
    zeilen = gelesen.decode("latin-1").rsplit("\n", 1)[0].split("\n")
    falsch = [z for z in zeilen if not CLF.fullmatch(z) and not ZAEHLUNG.fullmatch(z)]
    assert not falsch, f"lines neither whole nor the count: {falsch[:3]}"
    geschrieben = sum(1 for z in zeilen if CLF.fullmatch(z))
    verworfen = sum(int(m[1]) for z in zeilen if (m := ZAEHLUNG.fullmatch(z)))
    assert geschrieben + verworfen == antworten + 2, \
        f"lines logged and dropped, of {antworten} + 2 answers (logged: {geschrieben}, dropped: {verworfen})"
