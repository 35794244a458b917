# The build with the file capability, installed for real (as root) into a temporary prefix: only
# the helper uhrsteller carries a capability, and no process that runs GTK ever holds one. A
# member of the group dadaviru runs the installed Dadaviru on Xvfb with a harmless module in
# GTK_MODULES, which GTK loads from the environment and which records the capability sets of its
# process. So that this machine's clock stays out of reach, the capability the install gave is
# swapped for a stand-in (cap_net_bind_service) before any test looks at the install.
# SPDX-License-Identifier: MIT
import pytest

from namensraum import gebunden
from sicher import aus

# The install gives the helper to the group dadaviru, which the users' lock guards.
installation = pytest.mark.ctest(zeitlimit=120, sperren=("benutzer",))


@pytest.fixture
def installiert(umgebung, bau, benutzer):
    # The prefix, and the capabilities the install gave, before the stand-in replaced them.
    echt = umgebung.arbeit / "echt"
    aus("cmake", f"-DCMAKE_INSTALL_PREFIX={echt}", "-DCMAKE_INSTALL_COMPONENT=Programme",
        "-DDADAVIRU_FILE_CAPABILITY=ON", "-P", f"{bau.bau}/cmake_install.cmake")
    echt.chmod(0o755)
    faehigkeiten = aus("getcap", "-r", echt)
    for zeile in faehigkeiten.splitlines():
        aus("setcap", "cap_net_bind_service=p", zeile.split()[0])
    assert "cap_sys_time" not in aus("getcap", "-r", echt), "the stand-in did not replace cap_sys_time"
    return echt, faehigkeiten


@installation
def test_nur_der_helfer_traegt_das_recht(installiert):
    # Exactly one file with a capability, the helper; only the group may run it.
    echt, faehigkeiten = installiert
    uhrsteller = next(echt.rglob("uhrsteller"))
    assert faehigkeiten == f"{uhrsteller} cap_sys_time=p"
    assert aus("stat", "-c", "%a %U %G", uhrsteller) == "750 root dadaviru"
    for programm in ("Dadaviru", "Dadaviru_Autostart"):
        assert aus("stat", "-c", "%a %U", echt / "bin" / programm) == "755 root", programm


@installation
def test_gtk_prozess_ohne_faehigkeit(installiert, benutzer, anzeige, umgebung, bau):
    # The installed program as installed: in a mount namespace where the prefix it was built for
    # shows the temporary one, so it finds its window module and its helper. Its services never
    # resolve (.example): a proxy that refuses keeps every lookup on this machine.
    kappen = umgebung.arbeit / "kappen"
    kappen.touch()
    kappen.chmod(0o666)
    umgebung.ausfuehren(*gebunden({installiert[0]: bau.praefix}, *benutzer.als_mitglied,
                                  f"{bau.praefix}/bin/Dadaviru"),
                        attrappe=False, pruefen=True, env={**anzeige.env, "GTK_MODULES": bau.kappenprobe,
                                                           "DADAVIRU_KAPPENPROBE": kappen,
                                                           "http_proxy": "http://127.0.0.1:1"})
    mengen = dict(z.split(":", 1) for z in kappen.read_text().splitlines())
    assert "CapPrm" in mengen, "GTK did not load the probe module"
    for menge in ("CapInh", "CapPrm", "CapEff", "CapAmb"):
        assert int(mengen[menge], 16) == 0, f"the process that runs GTK holds capabilities: {mengen}"
