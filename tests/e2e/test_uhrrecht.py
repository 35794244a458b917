# The build with the file capability, installed for real (as root) into a temporary prefix: only
# the helper uhrsteller carries a capability, and no process that runs GTK ever holds one. A
# member of the group dadaviru runs the installed Dadaviru on Xvfb with a harmless module in
# GTK_MODULES, which GTK loads from the environment and which records the capability sets of its
# process. So that this machine's clock stays out of reach, the capability the install gave is
# swapped for a stand-in (cap_net_bind_service) before any test looks at the install.
# SPDX-License-Identifier: MIT
import subprocess

import pytest

from namensraum import gebunden

# The install gives the helper to the group dadaviru, which the users' lock guards.
installation = pytest.mark.ctest(zeitlimit=120, sperren=("benutzer",))


class Installation:
    def __init__(self, umgebung, bau):
        self.echt = umgebung.arbeit / "echt"
        log = umgebung.arbeit / "installation.log"
        with open(log, "w") as aus:
            ergebnis = subprocess.run(["cmake", f"-DCMAKE_INSTALL_PREFIX={self.echt}", "-DCMAKE_INSTALL_COMPONENT=Programme",
                                       "-DDADAVIRU_FILE_CAPABILITY=ON", "-P", f"{bau.bau}/cmake_install.cmake"],
                                      stdout=aus, stderr=subprocess.STDOUT)
        assert ergebnis.returncode == 0, f"install failed: {log.read_text()}"
        self.echt.chmod(0o755)
        self.faehigkeiten = self.getcap()
        for zeile in self.faehigkeiten.splitlines():
            subprocess.run(["setcap", "cap_net_bind_service=p", zeile.split()[0]], check=True)
        assert "cap_sys_time" not in self.getcap(), "the stand-in did not replace cap_sys_time"

    def getcap(self):
        return subprocess.run(["getcap", "-r", self.echt], capture_output=True, text=True, check=True).stdout.strip()


@pytest.fixture
def installiert(umgebung, bau, benutzer):
    return Installation(umgebung, bau)


def modus(pfad, format="%a %U %G"):
    return subprocess.run(["stat", "-c", format, pfad], capture_output=True, text=True, check=True).stdout.strip()


@installation
def test_nur_der_helfer_traegt_das_recht(installiert):
    # Exactly one file with a capability, the helper; only the group may run it.
    uhrsteller = next(installiert.echt.rglob("uhrsteller"))
    assert installiert.faehigkeiten == f"{uhrsteller} cap_sys_time=p"
    assert modus(uhrsteller) == "750 root dadaviru"
    for programm in ("Dadaviru", "Dadaviru_Autostart"):
        assert modus(installiert.echt / "bin" / programm, "%a %U") == "755 root", programm


@installation
def test_gtk_prozess_ohne_faehigkeit(installiert, benutzer, anzeige, umgebung, bau):
    # The installed program as installed: in a mount namespace where the prefix it was built for
    # shows the temporary one, so it finds its window module and its helper. Its services never
    # resolve (.example): a proxy that refuses keeps every lookup on this machine.
    praefix = bau.praefix
    kappen = umgebung.arbeit / "kappen"
    kappen.touch()
    kappen.chmod(0o666)
    lauf = umgebung.ausfuehren(*gebunden({installiert.echt: praefix}, *benutzer.als_mitglied, f"{praefix}/bin/Dadaviru"),
                               attrappe=False, zeitlimit=60,
                               env={**anzeige.env, "GTK_MODULES": bau.kappenprobe, "DADAVIRU_KAPPENPROBE": kappen,
                                    "http_proxy": "http://127.0.0.1:1"})
    assert lauf.returncode == 0, lauf.stdout + lauf.stderr
    mengen = dict(z.split(":", 1) for z in kappen.read_text().splitlines())
    assert "CapPrm" in mengen, "GTK did not load the probe module"
    for menge in ("CapInh", "CapPrm", "CapEff", "CapAmb"):
        assert int(mengen[menge], 16) == 0, f"the process that runs GTK holds capabilities: {mengen}"
