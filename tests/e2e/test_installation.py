# The install: staged, both programs and their helper with their desktop entries, icons, manual
# pages and polkit rule; then, as root, really installed into one prefix, by default and with the
# file capability by turns, in a private mount namespace where the prefix is a tmpfs and /etc an
# overlay, so that neither the helper with its capability nor the group and the user made for it are
# ever seen outside. Of the installed files only the helper runs, and never with CAP_SYS_TIME.
# SPDX-License-Identifier: MIT
import os
import re

import pytest

from benutzer import als, useradd
from sicher import aus, erwarten, umgebung_mit

# Users and groups made in an overlay of /etc: a lock file one test holds in the real /etc is seen
# by the others' overlays too.
gesperrt = pytest.mark.ctest(zeitlimit=120, sperren=("benutzer",))


@pytest.fixture
def stufe(umgebung, bau):
    aus("cmake", "--install", bau.bau, "--prefix", "/usr", env=umgebung_mit({"DESTDIR": umgebung.arbeit / "stufe"}))
    return umgebung.arbeit / "stufe"


def test_gestuft_programme_helfer_und_regel(stufe, bau):
    for p in ("bin/Dadaviru", "bin/Dadaviru_Autostart", "libexec/dadaviru/uhrsteller"):
        assert (stufe / "usr" / p).is_file() and (stufe / "usr" / p).stat().st_mode & 0o111, f"{p} not installed"
    faehigkeiten = aus("getcap", "-r", stufe)
    assert faehigkeiten == "", f"a staged file carries a capability: {faehigkeiten}"
    assert 'subject.isInGroup("dadaviru")' in (stufe / "usr/share/polkit-1/rules.d/50-dadaviru.rules").read_text()
    # The window module lies under the prefix installed to, where the programs' run path, made for
    # the prefix the build was configured with, says.
    modulpfad = re.search(r"Library runpath: \[(.*)\]", aus("readelf", "-d", stufe / "usr/bin/Dadaviru"))[1]
    assert modulpfad.startswith(bau.praefix + "/"), modulpfad
    assert (stufe / "usr" / modulpfad.removeprefix(bau.praefix + "/") / "libdadaviru_gtk.so").is_file(), \
        f"window module not at the run path '{modulpfad}'"


def test_gestuft_symbole_und_handbuch(stufe):
    # Each icon as a PNG of its size, with the transparency of its source.
    for s in ("dadaviru", "dadaviru_autostart"):
        for k in (16, 32, 48):
            art = aus("file", "-b", stufe / f"usr/share/icons/hicolor/{k}x{k}/apps/{s}.png")
            assert art.startswith(f"PNG image data, {k} x {k}, 8-bit/color RGBA"), f"icon {s} {k}x{k}: {art}"
    for seite in ("man1/Dadaviru.1", "man1/Dadaviru_Autostart.1", "man8/zeitdienst.8"):
        datei = stufe / "usr/share/man" / seite
        assert datei.is_file() and datei.stat().st_size > 0, f"no manual page {seite}"


def test_gestuft_desktop_eintraege(stufe, bau):
    # Each names its program as its Windows resources do, its comment also as their file description.
    v = bau.version
    for datei, p, kommentar, beschreibung, weitere in [
            ("usr/share/applications/dadaviru.desktop", "Dadaviru", "ändert die Systemzeit", "Systemzeit ändern",
             ["X-Dadaviru-ProductName=Dadaviru", f"X-Dadaviru-FileVersion={v}", f"X-Dadaviru-ProductVersion={v}"]),
            ("etc/xdg/autostart/dadaviru_autostart.desktop", "Dadaviru_Autostart", "Ändert die Systemzeit nach 30sek.",
             "Systemzeit ändern (für Revizavir)", [])]:
        zeilen = {"Name=Dadaviru", f"Comment={kommentar}", f"TryExec={p}", f"Exec={p}", f"Icon={p.lower()}",
                  f"X-Dadaviru-Version={v}", f"X-Dadaviru-FileDescription={kommentar}", f"X-Dadaviru-InternalName={p}",
                  f"X-Dadaviru-OriginalFilename={p}.exe", f"X-Dadaviru-Description={beschreibung}", *weitere}
        fehlt = zeilen - set((stufe / datei).read_text().splitlines())
        assert not fehlt, f"{datei} lacks: {fehlt}"


class Echt:
    # The programs' component really installed, as root, into a prefix on the namespace's tmpfs,
    # over whatever an earlier install left there (only the programs' component, since the
    # desktop entries' autostart folder lies outside any prefix).

    def __init__(self, ns, bau):
        self.ns, self.bau = ns, bau
        self.ziel = ns.ordner / "echt"
        self.uhrsteller = self.ziel / "libexec/dadaviru/uhrsteller"

    def installieren(self, *optionen):
        lauf = self.ns.ausfuehren("cmake", *optionen, f"-DCMAKE_INSTALL_PREFIX={self.ziel}",
                                  "-DCMAKE_INSTALL_COMPONENT=Programme", "-P", f"{self.bau.bau}/cmake_install.cmake",
                                  zeitlimit=120)
        self.log = lauf.stdout + lauf.stderr
        assert lauf.returncode == 0, f"install {optionen} failed: {self.log}"

    def aus(self, *befehl):
        return self.ns.ausfuehren(*befehl).stdout.strip()

    def pruefen(self, faehigkeit, wann):
        assert self.aus("getcap", "-r", self.ziel) == (f"{self.uhrsteller} cap_sys_time=p" if faehigkeit else ""), wann
        gruppe = "dadaviru" if faehigkeit else "root"
        assert self.aus("stat", "-c", "%a %U %G", self.uhrsteller) == f"750 root {gruppe}", wann
        # A user outside the group cannot even start the helper, whatever it carries. Were it
        # started, its instant would be refused before anything else. setpriv may still pass file
        # modes over when it starts a program, so a program of the user's (env) starts the helper.
        lauf = self.ns.ausfuehren("setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--",
                                  "env", self.uhrsteller, "kein", "zeitpunkt")
        assert lauf.returncode != 0 and "Permission denied" in lauf.stderr, f"nobody ran the helper ({wann}): {lauf}"


@pytest.fixture
def echt(namensraeume, bau):
    return Echt(namensraeume("installation", etc=True), bau)


@gesperrt
def test_standardmaessig_ohne_faehigkeit(echt):
    echt.installieren()
    echt.pruefen(False, "by default")
    for p in ("Dadaviru", "Dadaviru_Autostart"):
        assert echt.aus("stat", "-c", "%a %U", echt.ziel / "bin" / p) == "755 root", p
    regel = echt.ziel / "share/polkit-1/rules.d/50-dadaviru.rules"
    assert echt.ns.ausfuehren("test", "-f", regel).returncode == 0, "no polkit rule under the prefix"
    assert f"link {regel} into /etc/polkit-1/rules.d" in echt.log, "the install did not say where polkit looks"


@gesperrt
def test_faehigkeit_im_wechsel(echt):
    # Each install over the one before, the helper up to date and so left in place, with what the
    # earlier install gave it.
    echt.installieren()
    for runde in (1, 2):
        echt.installieren("-DDADAVIRU_FILE_CAPABILITY=ON")
        assert echt.ns.ausfuehren("getent", "group", "dadaviru").returncode == 0, "the group dadaviru was not created"
        echt.pruefen(True, f"with the file capability ({runde})")
        echt.installieren("-DDADAVIRU_FILE_CAPABILITY=OFF")
        echt.pruefen(False, f"without it again ({runde})")
        assert "Removed the capability" in echt.log, "the install did not say it removed the capability"


@gesperrt
def test_aus_der_gruppe_entfernt(echt):
    # The group as the group database has it when the helper starts, not as a process took it up: a
    # shell of a user's, started while they were a member, outlives their removal. Started from it,
    # the helper must refuse (5) before it looks at its capability, which the run helper withholds
    # anyway, so a member gets as far as that (3).
    echt.installieren("-DDADAVIRU_FILE_CAPABILITY=ON")
    nutzer, los = f"dvtest-g{os.getpid()}", echt.ns.ordner / "los"
    assert echt.ns.ausfuehren(*useradd(nutzer, "--groups", "dadaviru")).returncode == 0
    uid = echt.aus("id", "-u", nutzer)
    echt.ns.ausfuehren("sh", "-c", f'mkfifo -m 644 "{los}" && chown {nutzer} "{los}"')

    def schale_starten():
        schale = echt.ns.starten(*als(nutzer), "timeout", "60", "sh", "-c",
                                 'read -r _ < "$1"; exec "$2" 1796644800.000000000 0.000000000', "sh", los,
                                 echt.uhrsteller)
        erwarten(lambda: re.search(rf"^Uid:\s*{uid}\s", open(f"/proc/{schale.pid}/status").read(), re.M), 20,
                 "the user's shell")
        return schale

    def status(schale):
        echt.ns.ausfuehren("sh", "-c", f'echo > "{los}"')
        return schale.wait(60)

    assert status(schale_starten()) == 3, "the helper's status for a member"
    schale = schale_starten()
    echt.ns.ausfuehren("gpasswd", "--delete", nutzer, "dadaviru")
    gid = echt.aus("getent", "group", "dadaviru").split(":")[2]
    gruppen = re.search(r"^Groups:\s*(.*)$", open(f"/proc/{schale.pid}/status").read(), re.M)[1].split()
    assert gid in gruppen, f"the shell no longer holds the group {gid}: {gruppen}"
    assert status(schale) == 5, "the helper's status for a user removed from the group, from a shell started before"
