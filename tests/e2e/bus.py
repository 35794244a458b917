# A private system bus for one test: a dbus-daemon of the test's own, with its own socket and a
# policy that lets every user in (the chain's tests run programs as throw-away users), started by
# dbusmock's test case and named to every program through the run helper.
# SPDX-License-Identifier: MIT
import subprocess

import pytest
from dbusmock import DBusTestCase

from sicher import warten_auf

RICHTLINIE = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:path={pfad}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
"""


class Bus:
    def __init__(self, umgebung):
        self.umgebung = umgebung
        konfiguration = umgebung.arbeit / "bus.conf"
        konfiguration.write_text(RICHTLINIE.format(pfad=umgebung.arbeit / "bus"))
        self.pid, self.adresse = DBusTestCase.start_dbus(conf=konfiguration)
        umgebung.bus = self.adresse

    def hat_eigentuemer(self, name):
        antwort = subprocess.run(["dbus-send", f"--bus={self.adresse}", "--print-reply", "--dest=org.freedesktop.DBus",
                                  "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", f"string:{name}"],
                                 capture_output=True, text=True)
        return "boolean true" in antwort.stdout

    def warten_auf_name(self, name, sekunden=20):
        return warten_auf(sekunden, lambda: self.hat_eigentuemer(name))

    def beenden(self):
        if self.pid:
            DBusTestCase.stop_dbus(self.pid)
            self.pid = None
            self.umgebung.bus = None


@pytest.fixture
def bus(umgebung):
    """The private bus; every program the test starts afterwards sees it as the system bus."""
    b = Bus(umgebung)
    yield b
    b.beenden()
