# The Windows installer under Wine, in a fresh prefix of its own: it refuses an unknown autostart
# and any folder but Program Files; each silent install over the one before leaves exactly the
# autostart it was asked for, whatever the one before had; the installed programs, with a
# WININET.DLL planted beside them, take Windows' own, ask their services in pass order and end by
# themselves; the uninstall leaves nothing. Wine's Task Scheduler is incomplete, so a stand-in
# schtasks.exe keeps the task. Where this machine cannot run 32-bit code, the same script is built
# as a 64-bit installer around the 64-bit programs and tested under 64-bit Wine.
# Everything runs in a network namespace of the test's own, with nothing but its loopback, and a
# hosts file of its own that sends the programs' built-in services there.
# SPDX-License-Identifier: MIT
import os
import re
import shutil
from pathlib import Path

import pytest

from dienste import PASSFOLGE
from sicher import aus, erwarten, kann_32_bit, umgebung_mit, warten_auf
from wine import VERWEIGERT, Wine

WIN32 = Path(__file__).resolve().parents[1] / "win32"
SCHLUESSEL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Dadaviru"
ORT = r"C:\Program Files\Dadaviru"
PROGRAMME = ("Dadaviru.exe", "Dadaviru_Autostart.exe")
# Each install goes over the one before, with no uninstall between. In this order every choice
# follows every choice once; the first takes the default (the task).
WAHLEN = ["", "aufgabe", "ordner", "ordner", "keine", "keine", "aufgabe", "keine", "ordner", "aufgabe"]
AUFGABE = ("<LogonTrigger><Enabled>true</Enabled></LogonTrigger>", "<RunLevel>HighestAvailable</RunLevel>",
           "<GroupId>S-1-5-32-545</GroupId>", f'<Command>"{ORT}\\Dadaviru_Autostart.exe"</Command>',
           f"<WorkingDirectory>{ORT}</WorkingDirectory>",
           "<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>")
SCHTASKS = r'^"C:\\windows\\system32\\schtasks\.exe" /{} /TN "Dadaviru_Autostart" {}/F$'


class Installer:
    def __init__(self, umgebung, bau, namensraeume, monkeypatch):
        self.umgebung = umgebung
        quellen, pakete = Path(bau.quellen), Path(bau.pakete)
        self.version, numerisch = aus("cmake", "-P", quellen / "cmake/Version.cmake").split()
        self.setup = self.echtes_setup = pakete / f"Dadaviru-{self.version}-setup.exe"
        assert self.setup.is_file(), f"no {self.setup}: build the packages with tools/pakete.sh first"
        self.zertifikat = next(pakete.glob("testzertifikat/zertifikat.pem"), None)
        win64 = not kann_32_bit()
        windows = Path(bau.windows64) if win64 else pakete / "windows"
        urls = aus("cmake", f"-DBAU={windows}", "-P", quellen / "cmake/Quellen.cmake").split()
        assert len(urls) == 3, f"the services of {windows} cannot be read"
        umgebung.innen = namensraeume("netz", netz=True, hosts=self.hosts_schreiben(urls)).vorsatz()

        shutil.rmtree(pakete / "wine", ignore_errors=True)
        # No menu entries of Wine's own in this machine's home folder for the shortcuts.
        self.wine = Wine(umgebung, monkeypatch, pakete / "wine", "win64" if win64 else "win32",
                         "mscoree,mshtml=;winemenubuilder.exe=d;schtasks.exe=n")
        lauf = umgebung.ausfuehren("bash", WIN32 / "wine_einrichten.sh", pakete / "wine", attrappe=False, zeitlimit=400)
        assert lauf.returncode == 0, lauf.stdout + lauf.stderr
        if win64:
            self.setup_bauen(quellen, windows, numerisch)
        self.c = c = self.wine.prefix / "drive_c"
        self.ordner, self.aufgabe = c / "Program Files/Dadaviru", c / "aufgabe.xml"
        self.menue = c / "ProgramData/Microsoft/Windows/Start Menu/Programs"
        mingw = "x86_64-w64-mingw32" if win64 else "i686-w64-mingw32"
        aus(f"{mingw}-gcc", "-std=c11", "-O2", "-municode", "-static", "-o", c / "windows/system32/schtasks.exe",
            WIN32 / "schtasks_attrappe.c")
        aus(f"{mingw}-gcc", "-std=c11", "-O2", "-shared", "-o", umgebung.arbeit / "WININET.DLL",
            WIN32 / "wininet_attrappe.c")

    def hosts_schreiben(self, urls):
        # Each host name on the address the services serve it from; their addresses, at the
        # port of its URL.
        zeilen, self.adressen = ["127.0.0.1 localhost"], []
        for i, url in enumerate(urls):
            m = re.fullmatch(r"http://([A-Za-z0-9.-]*[A-Za-z][A-Za-z0-9.-]*)(?::(\d+))?(/.*)?", url)
            assert m, f"pass {i} asks {url}, which a hosts file cannot send to loopback"
            zeilen.append(f"127.0.0.{i + 1} {m[1]}")
            self.adressen.append((f"127.0.0.{i + 1}", int(m[2] or 80)))
        (hosts := self.umgebung.arbeit / "hosts").write_text("\n".join(zeilen) + "\n")
        return hosts

    def setup_bauen(self, quellen, windows, numerisch):
        # The same installer script around the 64-bit programs, signed as the real one is.
        programme, self.setup = self.umgebung.arbeit / "programme", self.umgebung.arbeit / "setup64.exe"
        programme.mkdir()
        z = self.zertifikat
        env = umgebung_mit(z and {"DADAVIRU_ZERTIFIKAT": z, "DADAVIRU_SCHLUESSEL": z.with_name("schluessel.pem")})
        for exe in PROGRAMME:
            shutil.copy(windows / "app" / exe, programme)
            if self.zertifikat:
                aus("bash", quellen / "tools/signieren.sh", programme / exe, env=env)
        aus("makensis", "-V1", "-NOCD", f"-DVERSION={self.version}", f"-DNUMERISCH={numerisch}",
            f"-DQUELLE={programme}", f"-DLIZENZ={quellen}/LICENSE", f"-DAUSGABE={self.setup}", "-DZIEL=amd64-unicode",
            *[f"-DSIGNIEREN=bash {quellen}/tools/signieren.sh"] * bool(self.zertifikat),
            quellen / "app/win32/dadaviru.nsi", env=env)

    def eintrag(self):
        # The uninstall entry's values; None without one (reg says so on stdout, so only its
        # status tells).
        lauf = self.wine.ausfuehren("reg", "query", SCHLUESSEL)
        return {m[1]: m[2] for m in re.finditer(r"^ *(\S+) +REG_\w+ +(.*?)\r?$", lauf.stdout, re.M)} \
            if lauf.returncode == 0 else None

    def befehle(self):
        log = self.c / "schtasks.log"
        return log.read_text(errors="replace").replace("\r", "") if log.exists() else ""

    def nichts_uebrig(self, wann):
        # Nothing of ours anywhere in the prefix: no file or folder, no task, no registry
        # key or value. The registry files are only current once the Wine server has ended.
        reste = [str(p) for p in self.c.rglob("*") if "dadaviru" in p.name.lower() and p.name != "schtasks.log"]
        assert not reste, f"{wann}: left behind: {reste}"
        assert not self.aufgabe.exists(), f"{wann}: the task is still there"
        assert self.eintrag() is None, f"{wann}: the uninstall entry is still there"
        for reg in self.wine.prefix.glob("*.reg"):
            assert "dadaviru" not in reg.read_text(errors="replace").lower(), f"{wann}: left in {reg.name}"

    def installiert_pruefen(self, vorher, jetzt):
        # The installer's files, Start-menu entry and "Apps & features" entry, and only the
        # autostart chosen now, however the install before started the program.
        wer = f"'{jetzt}' over '{vorher}'"
        werte = self.eintrag() or {}
        erwartet = {"DisplayName": "Dadaviru", "DisplayVersion": self.version, "Publisher": "The Dadaviru developers",
                    "DisplayIcon": ORT + r"\Dadaviru.exe,0", "UninstallString": f'"{ORT}\\Uninstall.exe"',
                    # Program Files of the installer's own width.
                    "InstallLocation": ORT}
        assert {n: werte.get(n) for n in erwartet} == erwartet, f"{wer}: the uninstall entry: {werte}"
        assert int(werte.get("EstimatedSize", "0"), 0) > 100, f"{wer}: EstimatedSize: {werte}"
        for datei in (*PROGRAMME, "LICENSE.txt", "Uninstall.exe"):
            assert (self.ordner / datei).is_file(), f"{wer}: no {datei} in Program Files"
        assert (self.menue / "Dadaviru.lnk").is_file(), f"{wer}: no Start-menu entry"
        startup = self.menue / "StartUp/Dadaviru_Autostart.lnk"
        assert startup.exists() == (jetzt == "ordner"), f"{wer}: the Startup shortcut"
        assert self.aufgabe.exists() == (jetzt == "aufgabe"), f"{wer}: the task"
        if jetzt == "aufgabe":
            assert re.search(SCHTASKS.format("Create", r'/XML "[^"]*\\aufgabe\.xml" '), self.befehle(), re.I | re.M), \
                f"{wer}: schtasks was run as: {self.befehle()}"
            xml = self.aufgabe.read_bytes().decode("utf-16").replace("\r", "")
            assert not [t for t in AUFGABE if t not in xml], f"{wer}: the task lacks a part: {xml}"

    def signatur_pruefen(self, datei):
        aus("osslsigncode", "verify", "-CAfile", self.zertifikat, "-in", datei)


@pytest.fixture
def installer(umgebung, bau, namensraeume, monkeypatch):
    i = Installer(umgebung, bau, namensraeume, monkeypatch)
    yield i
    i.wine.server_abwarten()


@pytest.mark.ctest(zeitlimit=1200, etiketten=("pakete",))
def test_installer_unter_wine(installer, dienste, anzeige, umgebung):
    i = installer
    i.nichts_uebrig("a fresh prefix")

    # Refused, with nothing installed: a choice the installer does not know, and any folder but its
    # own in Program Files, such as one on the system drive's root, which every user may change.
    for falsch in ("/AUTOSTART=immer", r"/D=C:\Dadaviru"):
        assert i.wine.ausfuehren(i.setup, "/S", falsch).returncode != 0, f"the installer accepted {falsch}"
        i.wine.server_abwarten()
    i.nichts_uebrig("the refused installs")

    for vorher, wahl in zip(["keine", *WAHLEN], WAHLEN):
        vorher = vorher or "aufgabe"
        # /D= takes the rest of the command line, unquoted; so two words that Wine joins
        # with a blank.
        ordner = [r"/D=C:\Program", r"Files\Dadaviru"] if wahl == "keine" else []
        (i.c / "schtasks.log").unlink(missing_ok=True)
        lauf = i.wine.ausfuehren(i.setup, "/S", *[f"/AUTOSTART={wahl}"] * bool(wahl), *ordner)
        assert lauf.returncode == 0, f"install of '{wahl}' over '{vorher}' exited with {lauf.returncode}"
        i.installiert_pruefen(vorher, wahl or "aufgabe")
        if i.zertifikat and not wahl:
            for datei in (*PROGRAMME, "Uninstall.exe"):
                i.signatur_pruefen(i.ordner / datei)

    # The installed programs, as the task or the shortcut starts them, with a WININET.DLL beside
    # them: Wine, like Windows, loads a native WinINet it finds there. Each must take the system's,
    # fetch in pass order, have its clock writes refused, and end by itself.
    shutil.copy(umgebung.arbeit / "WININET.DLL", i.ordner)
    env = {**anzeige.env, "WINEDEBUG": "-all,err+sync,+loaddll",
           "WINEDLLOVERRIDES": os.environ["WINEDLLOVERRIDES"] + ";wininet=n,b"}
    for programm in PROGRAMME:
        dienste.beenden()
        dienste.protokoll.unlink(missing_ok=True)
        dienste.vier_starten(adressen=i.adressen, attrappe=False)
        bericht = umgebung.arbeit / f"wine.{programm}.log"
        with open(bericht, "w") as log:
            prozess = umgebung.starten("wine", f"{ORT}\\{programm}", env=env, attrappe=False, fehlerausgabe=log)
        # Dadaviru_Autostart waits its 30 s first. A program that took the planted DLL breaks off at
        # its first call into it; that is told first.
        warten_auf(150, lambda: prozess.poll() is not None)
        assert not (i.c / "gepflanzt.txt").exists(), f"{programm} loaded the planted WININET.DLL"
        erwarten(lambda: prozess.poll() is not None, 10, f"{programm} ending by itself")
        assert prozess.returncode == 0, f"{programm} exited with {prozess.returncode}"
        assert dienste.anfragen() == PASSFOLGE
        bericht = bericht.read_text(errors="replace")
        assert bericht.count(VERWEIGERT) == 8, f"{programm}: refused clock writes: {bericht}"
        assert re.search(r'Loaded L"C:\\\\windows\\\\(system32|syswow64)\\\\wininet\.dll"', bericht, re.I), \
            f"{programm} did not load the system's WinINet: {re.findall(r'.*wininet.*', bericht, re.I)}"
    dienste.beenden()
    (i.ordner / "WININET.DLL").unlink()

    assert i.wine.ausfuehren(i.ordner / "Uninstall.exe", "/S").returncode == 0, "uninstall failed"
    # It hands over to its copy in Temp, which has ended with the Wine server.
    i.wine.server_abwarten()
    assert re.search(SCHTASKS.format("Delete", ""), i.befehle(), re.I | re.M), \
        f"the uninstall did not remove the task: {i.befehle()}"
    i.nichts_uebrig("after the uninstall")
    if i.zertifikat:
        i.signatur_pruefen(i.echtes_setup)
