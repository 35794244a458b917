# A private system bus for one test: a dbus-daemon of the test's own, with its own socket and a
# policy that lets every user in (the chain's tests run programs as throw-away users), started by
# dbusmock's test case and named to every program through the run helper.
# SPDX-License-Identifier: MIT
import json
import subprocess
from pathlib import Path

import pytest
from dbusmock import DBusTestCase

from sicher import beenden, erwarten

RICHTLINIE = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><listen>unix:path={pfad}</listen><auth>EXTERNAL</auth><policy context="default">
  <allow user="*"/> <allow own="*"/> <allow send_destination="*" eavesdrop="true"/> <allow eavesdrop="true"/>
</policy></busconfig>
"""


class Bus:
    def __init__(self, umgebung):
        self.umgebung, self.prozesse = umgebung, []
        (konfiguration := umgebung.arbeit / "bus.conf").write_text(RICHTLINIE.format(pfad=umgebung.arbeit / "bus"))
        self.pid, self.adresse = DBusTestCase.start_dbus(conf=konfiguration)
        umgebung.bus = self.adresse

    def hat_eigentuemer(self, name):
        return "boolean true" in subprocess.run(
            ["dbus-send", f"--bus={self.adresse}", "--print-reply", "--dest=org.freedesktop.DBus",
             "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", f"string:{name}"],
            capture_output=True, text=True).stdout

    # A service of the test's own that takes `dbus_name` on this bus, its output in `name`.log; it
    # ends before the bus does.
    def starten(self, name, dbus_name, *befehl, **optionen):
        log = self.umgebung.arbeit / f"{name}.log"
        self.prozesse.append(self.umgebung.starten(*befehl, ausgabe=log, fehlerausgabe=subprocess.STDOUT, **optionen))
        erwarten(lambda: self.hat_eigentuemer(dbus_name), 20, f"{name} on the bus ({log.read_text()})")

    # A timedated stand-in on this bus that, with `schweigen`, takes a SetTime and never answers it,
    # which the real one cannot be made to do; each call lands in `self.timedated_protokoll` as
    # "<time> SetTime <usec> <relative> <interactive>". Never on the machine's own bus, where it
    # could take timedated's name: the run helper points it at this one.
    def timedated_starten(self, schweigen=False):
        self.timedated_protokoll = self.umgebung.arbeit / "timedated"
        vorlage = Path(__file__).resolve().parent.parent / "timedated_vorlage.py"
        self.starten("timedated-attrappe", "org.freedesktop.timedate1", "/usr/bin/python3", "-m", "dbusmock",
                     "--system", "-l", self.timedated_protokoll, "--template", vorlage,
                     "-p", json.dumps({"Schweigen": schweigen}), attrappe=False)


@pytest.fixture
def bus(umgebung):
    b = Bus(umgebung)
    yield b
    for prozess in reversed(b.prozesse):
        beenden(prozess)
    DBusTestCase.stop_dbus(b.pid)
    umgebung.bus = None
