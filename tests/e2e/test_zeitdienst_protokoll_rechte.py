# The time service started as root by hand, with its log in a folder others may write to: it must
# give root up before it serves, never write its log through a link, show every byte a client chose
# as text, and open its log afresh on SIGHUP as logrotate expects, the log it made being its user's.
# Started by another user with a capability, it must give that up too.
# SPDX-License-Identifier: MIT
import os
import pwd
import re
import signal
import stat

import pytest

from sicher import erwarten

pytestmark = pytest.mark.skipif(os.geteuid() != 0, reason="only root can start the service as root")

NOBODY = pwd.getpwnam("nobody")


@pytest.fixture
def ablage(umgebung):
    """The log's folder, and a file a link may point at; both nobody's, so that the service can make a
    new log there, and nothing but the checks of the name can keep it from the file."""
    ordner, opfer = umgebung.arbeit / "protokolle", umgebung.arbeit / "opfer"
    ordner.mkdir(mode=0o700)
    opfer.write_text("unberuehrt\n")
    for pfad in (ordner, opfer):
        os.chown(pfad, NOBODY.pw_uid, -1)
    return ordner, opfer


def dienst_selbst(d):
    """The service itself, the child of the `timeout` it was started under."""
    return int(open(f"/proc/{d.prozess.pid}/task/{d.prozess.pid}/children").read().split()[0])


def status_felder(pid, name):
    return next(z.split()[1:] for z in open(f"/proc/{pid}/status") if z.startswith(name + ":"))


def modus_und_eigner(pfad):
    return stat.S_IMODE(pfad.stat().st_mode), pfad.stat().st_uid


def laeuft_nicht(umgebung, bau, *optionen):
    lauf = umgebung.ausfuehren(bau.zeitdienst, "--bind", "127.0.0.1", "--port", 0, *optionen, zeitlimit=20,
                               attrappe=False)
    return lauf.returncode, lauf.stderr


@pytest.mark.ctest(zeitlimit=120)
def test_log_als_verweis_verweigert(umgebung, bau, ablage):
    ordner, opfer = ablage
    (ordner / "weich.log").symlink_to(opfer)
    os.link(opfer, ordner / "hart.log")
    for name in ("weich.log", "hart.log"):
        rc, fehler = laeuft_nicht(umgebung, bau, "--log", ordner / name)
        assert (rc, "cannot open the log" in fehler) == (1, True), f"started with the log {name}"
    assert opfer.read_text() == "unberuehrt\n", "the file behind the links"


@pytest.mark.ctest(zeitlimit=120)
def test_root_vor_dem_dienst_aufgegeben(dienste, umgebung, bau, ablage):
    log = ablage[0] / "zugriffe.log"
    dienst = dienst_selbst(dienste.zeitdienst("--log", log, protokoll=False))
    nobody, nogroup = str(NOBODY.pw_uid), str(NOBODY.pw_gid)
    assert status_felder(dienst, "Uid") == [nobody] * 4, "user ids"
    assert status_felder(dienst, "Gid") == [nogroup] * 4, "group ids"
    assert status_felder(dienst, "Groups") == [], "supplementary groups"
    assert status_felder(dienst, "CapEff") == ["0000000000000000"], "capabilities"
    assert modus_und_eigner(log) == (0o640, NOBODY.pw_uid), "the log's mode and owner"
    for benutzer in ("root", "niemand-hier"):
        assert laeuft_nicht(umgebung, bau, "--user", benutzer)[0] == 1, f"--user {benutzer}"


@pytest.mark.ctest(zeitlimit=120)
def test_fremde_bytes_als_hex(dienste, roh, ablage):
    log = ablage[0] / "zugriffe.log"
    d = dienste.zeitdienst("--log", log, protokoll=False)
    v = roh.verbinden(d.port)
    # CSI and the right-to-left override in UTF-8, a raw CSI byte, the quote and the backslash.
    v.senden(b'GET /zeit.php?\xc2\x9b\xe2\x80\xae\x9b"\\ HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n')
    assert v.lesen(), f"no answer to a request with bytes outside ASCII ({v.ende})"
    erwarten(lambda: b"zeit.php?" in log.read_bytes(), 20, "the request logged")
    inhalt = log.read_bytes()
    assert re.search(rb'"GET /zeit\.php\?.*"', inhalt)[0] == \
        rb'"GET /zeit.php?\xC2\x9B\xE2\x80\xAE\x9B\x22\x5C HTTP/1.1"', "the request in the log"
    assert not re.search(rb"[^ -~\n]", inhalt), "the log holds bytes outside printable ASCII"


@pytest.mark.ctest(zeitlimit=120)
def test_sighup_neu_geoeffnet(dienste, roh, ablage):
    ordner, opfer = ablage
    log = ordner / "zugriffe.log"
    d = dienste.zeitdienst("--log", log, protokoll=False)
    dienst = dienst_selbst(d)
    meldungen = d.ausgabe.read_text

    def neue_zeile(pfad, datei=log):
        return roh.status(d.port, f"/{pfad}") and f"GET /{pfad} " in datei.read_text()

    # Not moved, as when logrotate's shared postrotate signals for another log of the folder.
    os.kill(dienst, signal.SIGHUP)
    erwarten(lambda: neue_zeile("nach-hup"), 30, "a log line after SIGHUP")
    assert "cannot open the log afresh" not in meldungen(), "the log it made could not be opened afresh"
    log.rename(ordner / "zugriffe.log.1")
    os.kill(dienst, signal.SIGHUP)
    erwarten(lambda: neue_zeile("neu"), 30, "a new log after SIGHUP")
    assert modus_und_eigner(log) == (0o640, NOBODY.pw_uid), "the new log's mode and owner"
    alt = ordner / "zugriffe.log.2"
    log.rename(alt)
    log.symlink_to(opfer)
    os.kill(dienst, signal.SIGHUP)
    erwarten(lambda: "cannot open the log afresh" in meldungen(), 30, "a link in the log's place remarked")
    erwarten(lambda: neue_zeile("weiter", alt), 20, "the log going on into the old file")
    assert opfer.read_text() == "unberuehrt\n", "the file behind the link"


@pytest.mark.ctest(zeitlimit=120)
def test_mit_faehigkeit_gestartet(dienste, roh, umgebung, bau):
    mit_faehigkeit = umgebung.arbeit / "mit_faehigkeit"
    mit_faehigkeit.write_text(
        "#!/bin/sh\nexec setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=+net_bind_service "
        f'--ambient-caps=+net_bind_service "{bau.zeitdienst}" "$@"\n')
    mit_faehigkeit.chmod(0o755)
    d = dienste.zeitdienst("--log", "off", programm=mit_faehigkeit, protokoll=False)
    dienst = dienst_selbst(d)
    assert status_felder(dienst, "Uid")[0] == str(NOBODY.pw_uid), "its user"
    assert [status_felder(dienst, n)[0] for n in ("CapInh", "CapPrm", "CapEff", "CapAmb")] == \
        ["0000000000000000"] * 4, "capabilities"
    assert roh.status(d.port, "/") == 200, "status"
