# The time service started as root by hand, with its log in a folder others may write to: it must
# give root up before it serves, never write its log through a link, show every byte a client chose
# as text, and open its log afresh on SIGHUP as logrotate expects, the log it made being its user's.
# Started by another user with a capability, it must give that up too.
# SPDX-License-Identifier: MIT
import os
import pwd
import re
import signal

import pytest

from sicher import erwarten

NOBODY = pwd.getpwnam("nobody")
KEINE = "0000000000000000"


@pytest.fixture
def ablage(umgebung):
    # The log's folder, and a file a link may point at; both nobody's, so that the service can make a
    # new log there, and nothing but the checks of the name can keep it from the file.
    ordner, opfer = umgebung.arbeit / "protokolle", umgebung.arbeit / "opfer"
    ordner.mkdir(mode=0o700)
    opfer.write_text("unberuehrt\n")
    for pfad in (ordner, opfer):
        os.chown(pfad, NOBODY.pw_uid, -1)
    return ordner, opfer


def status(d):
    return {n: w.split() for n, _, w in (z.partition(":") for z in open(f"/proc/{d.pid}/status"))}


# Started by hand, on a port of its own.
EINZELN = ("--bind", "127.0.0.1", "--port", 0)


def test_log_als_verweis_verweigert(dienste, ablage):
    ordner, opfer = ablage
    (ordner / "weich.log").symlink_to(opfer)
    os.link(opfer, ordner / "hart.log")
    for name in ("weich.log", "hart.log"):
        verweigert = dienste.zeitdienst_lauf(*EINZELN, "--log", ordner / name)
        assert (verweigert.returncode, "cannot open the log" in verweigert.stderr) == (1, True), f"the log {name}"
    assert opfer.read_text() == "unberuehrt\n", "the file behind the links"


def test_root_vor_dem_dienst_aufgegeben(dienste, ablage):
    log = ablage[0] / "zugriffe.log"
    s = status(dienste.zeitdienst("--log", log, protokoll=False))
    erwartet = {"Uid": [str(NOBODY.pw_uid)] * 4, "Gid": [str(NOBODY.pw_gid)] * 4, "Groups": [], "CapEff": [KEINE]}
    assert {n: s[n] for n in erwartet} == erwartet, "ids, groups, capabilities"
    assert (log.stat().st_mode & 0o7777, log.stat().st_uid) == (0o640, NOBODY.pw_uid), "the log's mode and owner"
    for benutzer in ("root", "niemand-hier"):
        assert dienste.zeitdienst_lauf(*EINZELN, "--user", benutzer).returncode == 1, f"--user {benutzer}"


def test_fremde_bytes_als_hex(dienste, roh, ablage):
    log = ablage[0] / "zugriffe.log"
    d = dienste.zeitdienst("--log", log, protokoll=False)
    # CSI and the right-to-left override in UTF-8, a raw CSI byte, the quote and the backslash.
    v = roh.verbinden(d.port)
    assert v.fragen(b'GET /zeit.php?\xc2\x9b\xe2\x80\xae\x9b"\\ HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n'), \
        f"no answer to a request with bytes outside ASCII ({v.ende})"
    inhalt = erwarten(lambda: b"zeit.php?" in log.read_bytes() and log.read_bytes(), 20, "the request logged")
    assert re.search(rb'"GET /zeit\.php\?.*"', inhalt)[0] == \
        rb'"GET /zeit.php?\xC2\x9B\xE2\x80\xAE\x9B\x22\x5C HTTP/1.1"', "the request in the log"
    assert not re.search(rb"[^ -~\n]", inhalt), "the log holds bytes outside printable ASCII"


def test_sighup_neu_geoeffnet(dienste, roh, ablage):
    ordner, opfer = ablage
    log = ordner / "zugriffe.log"
    d = dienste.zeitdienst("--log", log, protokoll=False)
    dienst = d.pid

    def zeile(pfad, datei=log):
        erwarten(lambda: roh.status(d.port, f"/{pfad}") and f"GET /{pfad} " in datei.read_text(), 30,
                 f"/{pfad} logged in {datei.name} after SIGHUP")

    # Not moved, as when logrotate's shared postrotate signals for another log of the folder.
    os.kill(dienst, signal.SIGHUP)
    zeile("nach-hup")
    assert "cannot open the log afresh" not in d.ausgabe.read_text(), "the log it made could not be opened afresh"
    log.rename(ordner / "zugriffe.log.1")
    os.kill(dienst, signal.SIGHUP)
    zeile("neu")
    assert (log.stat().st_mode & 0o7777, log.stat().st_uid) == (0o640, NOBODY.pw_uid), "the new log's mode and owner"
    log.rename(ordner / "zugriffe.log.2")
    log.symlink_to(opfer)
    os.kill(dienst, signal.SIGHUP)
    erwarten(lambda: "cannot open the log afresh" in d.ausgabe.read_text(), 30, "a link in the log's place remarked")
    zeile("weiter", ordner / "zugriffe.log.2")
    assert opfer.read_text() == "unberuehrt\n", "the file behind the link"


def test_mit_faehigkeit_gestartet(dienste, roh, umgebung, bau):
    mit_faehigkeit = umgebung.arbeit / "mit_faehigkeit"
    mit_faehigkeit.write_text(
        "#!/bin/sh\nexec setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=+net_bind_service "
        f'--ambient-caps=+net_bind_service "{bau.zeitdienst}" "$@"\n')
    mit_faehigkeit.chmod(0o755)
    d = dienste.zeitdienst("--log", "off", programm=mit_faehigkeit, protokoll=False)
    s = status(d)
    erwartet = {"Uid": str(NOBODY.pw_uid), "CapInh": KEINE, "CapPrm": KEINE, "CapEff": KEINE, "CapAmb": KEINE}
    assert {n: s[n][0] for n in erwartet} == erwartet, "its user and capabilities"
    assert roh.status(d.port, "/") == 200, "status"
