# The real chain that sets the clock on Linux: the real systemd-timedated on the test's private bus,
# without CAP_SYS_TIME and under the clock interposer, the real polkitd reading only our rule, and a
# stand-in for systemd where a test needs an NTP unit active; one virtual clock that the chain and
# the programs share.
# SPDX-License-Identifier: MIT
from pathlib import Path

import pytest

from namensraum import gebunden

SYSTEMD_VORLAGE = Path(__file__).resolve().parents[1] / "systemd_vorlage.py"


class Uhrkette:
    def __init__(self, umgebung, bus):
        self.umgebung, self.bus = umgebung, bus
        # One virtual clock, at real time, as the chain and the programs share the real one; every
        # user may write it and its log, as every process may try to set the real clock.
        self.uhr = umgebung.arbeit / "uhr.geteilt"
        self.uhr.write_bytes(bytes(8))
        umgebung.uhr_protokoll.touch()
        for datei in (self.uhr, umgebung.uhr_protokoll):
            datei.chmod(0o666)
        # What a program that shares the clock is started with.
        self.env = {"UHRATTRAPPE_GEMEINSAM": self.uhr}

    def polkit_starten(self, regel):
        # The real polkitd, in a mount namespace of its own where /etc/polkit-1/rules.d
        # holds only `regel` and /usr/share/polkit-1/rules.d nothing.
        regeln, leer = self.umgebung.arbeit / "polkit/regeln", self.umgebung.arbeit / "polkit/leer"
        regeln.mkdir(parents=True)
        leer.mkdir()
        (regeln / "50-dadaviru.rules").write_text(Path(regel).read_text())
        # polkitd reads them as its own user.
        for pfad in (regeln.parent, regeln, leer, regeln / "50-dadaviru.rules"):
            pfad.chmod(0o755)
        # polkitd sets no clock, so it runs without the interposer, which a sanitizer
        # build's would crash.
        self.bus.starten("polkit", "org.freedesktop.PolicyKit1",
                      *gebunden({regeln: "/etc/polkit-1/rules.d", leer: "/usr/share/polkit-1/rules.d"},
                                "/usr/lib/polkit-1/polkitd", "--no-debug"), attrappe=False)

    def timedated_starten(self, ntp_einheiten=""):
        # The real systemd-timedated, in the machine's zone, asking systemd about the NTP
        # units named (about none without). It sets the clock only through the interposer;
        # without CAP_SYS_TIME neither the clock nor an RTC is in reach even without it (the
        # kernel wants CAP_SYS_TIME for RTC_SET_TIME too).
        self.bus.starten("timedated", "org.freedesktop.timedate1", "/lib/systemd/systemd-timedated",
                      env={**self.env, "TZ": None, "SYSTEMD_TIMEDATED_NTP_SERVICES": ntp_einheiten})

    def systemd_starten(self):
        # A stand-in for systemd that reports systemd-timesyncd.service active, as timedated
        # asks it before every change; its calls land in the file `systemd1`.
        self.systemd_log = self.umgebung.arbeit / "systemd1"
        self.bus.starten("systemd", "org.freedesktop.systemd1", "/usr/bin/python3", "-m", "dbusmock", "--system",
                      "-l", self.systemd_log, "--template", SYSTEMD_VORLAGE, attrappe=False)


# The shared clock at once; timedated, polkitd and the systemd stand-in as the test starts them.
@pytest.fixture
def uhrkette(umgebung, bus):
    return Uhrkette(umgebung, bus)
