# The Debian packages as tools/pakete.sh built them: lintian finds nothing it is not told why to
# accept, and each package holds what its users need, built with the release services, stripped,
# with no capability, and with a service that nothing starts. As root, they are also installed and
# purged in a private mount namespace on an overlay of this machine's root, so that nothing they or
# their scripts do reaches the machine: dadaviru takes over no group dadaviru that is not its own,
# and purging zeitdienst leaves nothing of it.
# SPDX-License-Identifier: MIT
import gzip
import re
import shutil
from pathlib import Path

import pytest

from sicher import aus

pytestmark = pytest.mark.ctest(zeitlimit=300, etiketten=("pakete",))
# Users and groups made in an overlay of /etc: a lock file one test holds in the real /etc is seen
# by the others' overlays too.
installiert = pytest.mark.ctest(zeitlimit=300, sperren=("benutzer",), etiketten=("pakete",))
REGEL = "/usr/share/polkit-1/rules.d/50-dadaviru.rules"


@pytest.fixture
def debs(bau):
    version = aus("dpkg-parsechangelog", "-l", f"{bau.quellen}/debian/changelog", "-S", "Version")
    dateien = {p: Path(bau.pakete) / f"{p}_{version}_amd64.deb" for p in ("dadaviru", "zeitdienst")}
    fehlt = [str(d) for d in dateien.values() if not d.is_file()]
    assert not fehlt, f"no {fehlt}: build the packages with tools/pakete.sh first"
    return dateien


@pytest.fixture
def ausgepackt(debs, umgebung):
    # Each package's files, and its maintainer scripts in DEBIAN, under a folder of its name.
    for paket, deb in debs.items():
        aus("dpkg-deb", "-x", deb, umgebung.arbeit / paket)
        aus("dpkg-deb", "-e", deb, umgebung.arbeit / paket / "DEBIAN")
    return umgebung.arbeit


def test_lintian(debs):
    aus("lintian", "--fail-on", "error,warning", "--tag-display-limit", "0", *debs.values())


INHALT = {
    "dadaviru": [
        "usr/bin/Dadaviru", "usr/bin/Dadaviru_Autostart", "usr/libexec/dadaviru/uhrsteller",
        "usr/lib/x86_64-linux-gnu/dadaviru/libdadaviru_gtk.so", "usr/share/applications/dadaviru.desktop",
        "etc/xdg/autostart/dadaviru_autostart.desktop", "usr/share/man/man1/Dadaviru.1.gz",
        "usr/share/man/man1/Dadaviru_Autostart.1.gz", REGEL[1:], "usr/lib/sysusers.d/dadaviru.conf",
        "usr/share/doc/dadaviru/README.Debian", "usr/share/doc/dadaviru/copyright",
        *[f"usr/share/icons/hicolor/{k}x{k}/apps/{s}.png" for s in ("dadaviru", "dadaviru_autostart")
          for k in (16, 32, 48)]],
    "zeitdienst": [
        "usr/sbin/zeitdienst", "usr/share/man/man8/zeitdienst.8.gz", "lib/systemd/system/zeitdienst.socket",
        "lib/systemd/system/zeitdienst.service", "etc/logrotate.d/zeitdienst", "usr/share/doc/zeitdienst/copyright"],
}


def test_inhalt(ausgepackt):
    for paket, dateien in INHALT.items():
        for datei in dateien:
            pfad = ausgepackt / paket / datei
            assert pfad.is_file(), f"{paket} lacks /{datei}"
            if datei.endswith(".png"):
                k = re.search(r"hicolor/(\d+)x", datei)[1]
                assert aus("file", "-b", pfad).startswith(f"PNG image data, {k} x {k},"), f"/{datei} is no {k}x{k} PNG"
            elif datei.endswith("/copyright"):
                assert pfad.read_text().splitlines()[0] == \
                    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/", f"/{datei}"
            elif re.match(r"usr/(bin|sbin|libexec)/|.*\.so$", datei):
                assert aus("file", "-b", pfad).endswith(", stripped"), f"/{datei} is not stripped"


def test_recht_nur_aus_gruppe_und_regel(ausgepackt):
    # The right to set the clock comes from the group and the polkit rule, never from a capability.
    d = ausgepackt / "dadaviru"
    assert re.search(r"systemd-sysusers.*dadaviru\.conf", (d / "DEBIAN/postinst").read_text()), \
        "postinst does not make the group"
    assert "g dadaviru -" in (d / "usr/lib/sysusers.d/dadaviru.conf").read_text().splitlines()
    for skript in ausgepackt.glob("*/DEBIAN/*"):
        assert "setcap" not in skript.read_text(errors="replace"), f"{skript.name} sets a capability"


def test_freigabedienste(ausgepackt):
    # The release services, the same as the manual page names; none of the tests' loopback ones.
    d = ausgepackt / "dadaviru"
    seite = gzip.decompress((d / "usr/share/man/man1/Dadaviru.1.gz").read_bytes()).decode()
    url = re.search(r"^\.UR (.*)$", seite, re.M)[1].encode()
    for p in ("Dadaviru", "Dadaviru_Autostart"):
        programm = (d / "usr/bin" / p).read_bytes()
        assert url in programm, f"{p} does not ask {url}, which its manual page names"
        assert b"127.0.0." not in programm, f"{p} was built with the tests' loopback services"
        # Its helper where the package puts it, handed nothing of the environment (the tests hand it
        # the clock interposer's variables).
        assert b"/usr/libexec/dadaviru/uhrsteller" in programm, f"{p} does not run the packaged helper"
        assert b"UHRATTRAPPE" not in programm, f"{p} hands its helper the tests' variables"


def test_dienst_ungestartet_eingerichtet(ausgepackt):
    # Installed to be configured: the units are known to systemd but neither enabled nor started.
    postinst = (ausgepackt / "zeitdienst/DEBIAN/postinst").read_text()
    for einheit in ("zeitdienst.socket", "zeitdienst.service"):
        assert f"deb-systemd-helper debian-installed '{einheit}'" in postinst, f"postinst enables {einheit}"
    assert "deb-systemd-invoke" not in postinst, "postinst starts the service"
    assert "/etc/logrotate.d/zeitdienst" in (ausgepackt / "zeitdienst/DEBIAN/conffiles").read_text().splitlines()


def test_dienst_allein(ausgepackt):
    # The service alone: none of the tests' fault modes, and nothing of the desktop programs'
    # libraries.
    dienst = ausgepackt / "zeitdienst/usr/sbin/zeitdienst"
    texte = aus("strings", dienst).splitlines()
    for option in ("--body", "--status", "--delay", "--drip", "--huge", "--redirect", "--port-file", "--end-after"):
        muster = re.compile(rf"{option}|.*[^a-z-]{option}[^a-z-].*")
        assert not any(muster.fullmatch(t) for t in texte), f"zeitdienst knows the fault mode {option}"
    noetig = aus("readelf", "-d", dienst)
    assert not re.search(r"NEEDED.*(gtk|gdk|glib|curl|cap)", noetig), \
        f"zeitdienst links a library of the programs: {noetig}"


class Wurzel:
    # The packages in a root of the test's own: an overlay of this machine's on the namespace's
    # tmpfs.

    def __init__(self, ns, debs):
        self.ns, self.deb = ns, {paket: f"/tmp/{deb.name}" for paket, deb in debs.items()}
        for deb in debs.values():
            shutil.copy(deb, ns.pfad("/tmp"))

    def im(self, *befehl):
        return self.ns.ausfuehren(*befehl, zeitlimit=240)

    def dpkg(self, *argumente):
        lauf = self.im("dpkg", *argumente)
        self.log = lauf.stdout + lauf.stderr
        return lauf.returncode == 0

    def zustand(self):
        return self.im("dpkg-query", "-W", "-f=${db:Status-Abbrev}", "dadaviru").stdout

    def vorhanden(self, pfad):
        return self.im("test", "-e", pfad, "-o", "-L", pfad).returncode == 0


@pytest.fixture
def wurzel(namensraeume, debs):
    return Wurzel(namensraeume("pakete", wurzel=True), debs)


@installiert
def test_installiert_mit_systemgruppe(wurzel):
    assert wurzel.dpkg("-i", wurzel.deb["dadaviru"], wurzel.deb["zeitdienst"]), wurzel.log
    gid = wurzel.im("getent", "group", "dadaviru").stdout.split(":")[2:3]
    assert gid and 100 <= int(gid[0]) <= 999, f"the group dadaviru is no system group: gid {gid}"
    assert wurzel.zustand() == "ii "


@installiert
def test_zeitdienst_entfernt_rueckstandslos(wurzel):
    assert wurzel.dpkg("-i", wurzel.deb["zeitdienst"]), wurzel.log
    # The log folder as systemd makes it for a service with DynamicUser=, with logs logrotate kept.
    wurzel.im("sh", "-c", "mkdir -p -m 700 /var/log/private/zeitdienst && ln -s private/zeitdienst /var/log/zeitdienst"
              " && echo zeile > /var/log/zeitdienst/zugriffe.log"
              " && echo alt | gzip > /var/log/zeitdienst/zugriffe.log.2.gz")
    assert wurzel.dpkg("--purge", "zeitdienst"), wurzel.log
    for rest in ("/var/log/zeitdienst", "/var/log/private/zeitdienst", "/usr/sbin/zeitdienst",
                 "/etc/logrotate.d/zeitdienst", "/lib/systemd/system/zeitdienst.service"):
        assert not wurzel.vorhanden(rest), f"purged, zeitdienst left {rest}"


# A group dadaviru of another's: neither a group that is no system group nor the private group of a
# user of that name is taken over.
FREMDE_GRUPPEN = {"keine_systemgruppe": "groupadd dadaviru",
                  "private_gruppe": "useradd --system --user-group dadaviru"}


@installiert
@pytest.mark.parametrize("fall", FREMDE_GRUPPEN)
def test_fremde_gruppe_abgelehnt(fall, wurzel):
    wurzel.im("sh", "-c", FREMDE_GRUPPEN[fall])
    assert not wurzel.dpkg("-i", wurzel.deb["dadaviru"]), f"dadaviru installed over a group not its own: {wurzel.log}"
    for sagt in ("not a system group made for this package", "polkit rule lets every member", "groupmod -n"):
        assert sagt in wurzel.log, f"dadaviru did not say '{sagt}': {wurzel.log}"
    if fall == "private_gruppe":
        assert "private group of the user dadaviru" in wurzel.log, wurzel.log
    # Nothing is unpacked, the polkit rule least of all.
    assert not wurzel.vorhanden(REGEL), "the polkit rule was unpacked"
    assert wurzel.zustand()[:2] not in ("ii", "iU", "iF", "iH"), wurzel.zustand()


@installiert
def test_postinst_lehnt_fremde_gruppe_ab(wurzel):
    # A group that comes between unpacking and configuring.
    assert wurzel.dpkg("--unpack", wurzel.deb["dadaviru"]), wurzel.log
    wurzel.im("groupadd", "dadaviru")
    assert not wurzel.dpkg("--configure", "dadaviru"), "dadaviru was configured with a group not its own"
    assert "stays unconfigured" in wurzel.log, wurzel.log
    assert not wurzel.zustand().startswith("ii"), "dadaviru is configured"
