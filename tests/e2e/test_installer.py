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
import subprocess
from pathlib import Path

import pytest

from dienste import PASS_ANTWORTEN
from sicher import erwarten, kann_32_bit, warten_auf

WIN32 = Path(__file__).resolve().parents[1] / "win32"
SCHLUESSEL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Dadaviru"
ORT = r"C:\Program Files\Dadaviru"
# Each install goes over the one before, with no uninstall between. In this order every choice
# follows every choice once; the first takes the default (the task).
WAHLEN = ["", "aufgabe", "ordner", "ordner", "keine", "keine", "aufgabe", "keine", "ordner", "aufgabe"]


class Installer:
    def __init__(self, umgebung, bau, namensraeume):
        self.umgebung, self.bau = umgebung, bau
        quellen = Path(bau.quellen)
        version, numerisch = subprocess.run(["cmake", "-P", quellen / "cmake/Version.cmake"], capture_output=True,
                                            text=True, check=True).stdout.split()
        self.version = version
        self.setup = Path(bau.pakete) / f"Dadaviru-{version}-setup.exe"
        assert self.setup.is_file(), f"no {self.setup}: build the packages with tools/pakete.sh first"
        zertifikat = Path(bau.pakete) / "testzertifikat"
        self.zertifikat = zertifikat / "zertifikat.pem" if (zertifikat / "zertifikat.pem").exists() else None
        self.schluessel = zertifikat / "schluessel.pem"
        win64 = not kann_32_bit()
        windows = Path(bau.windows64 if win64 else Path(bau.pakete) / "windows")
        self.urls = subprocess.run(["cmake", f"-DBAU={windows}", "-P", quellen / "cmake/Quellen.cmake"],
                                   capture_output=True, text=True, check=True).stdout.split()
        assert len(self.urls) == 3, f"the services of {windows} cannot be read"
        self.netz = namensraeume("netz", netz=True, hosts=self.hosts_schreiben())
        umgebung.innen = self.netz.vorsatz(netz=True)

        self.prefix = Path(bau.pakete) / "wine"
        shutil.rmtree(self.prefix, ignore_errors=True)
        arch = "win64" if win64 else "win32"
        self.env = {"WINEPREFIX": self.prefix, "WINEDEBUG": "-all", "WINEARCH": arch,
                    # No menu entries of Wine's own in this machine's home folder for the shortcuts.
                    "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d;schtasks.exe=n",
                    "DADAVIRU_WINEARCH": arch, "UHRATTRAPPE": None}
        # Loopback is reached directly; WinINet under Wine would take a proxy from the environment.
        for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
            self.env[name] = None
        if win64:
            # /usr/bin/wine takes the 32-bit loader whenever it is installed, even where it cannot run.
            lader = Path(f"{self.prefix}.bin")
            lader.mkdir(exist_ok=True)
            for n in ("wine", "wine-stable"):
                (lader / n).write_text('#!/bin/sh\nWINELOADER=/usr/lib/wine/wine64 exec /usr/lib/wine/wine64 "$@"\n')
                (lader / n).chmod(0o755)
            self.env["PATH"] = f"{lader}:{os.environ['PATH']}"
        lauf = umgebung.ausfuehren("bash", WIN32 / "wine_einrichten.sh", self.prefix, env=self.env, attrappe=False,
                                   zeitlimit=400)
        assert lauf.returncode == 0, lauf.stdout + lauf.stderr

        mingw = "x86_64-w64-mingw32" if win64 else "i686-w64-mingw32"
        if win64:
            self.setup_bauen(windows, version, numerisch)
        self.c = self.prefix / "drive_c"
        for quelle, ziel, art in (("schtasks_attrappe.c", self.c / "windows/system32/schtasks.exe", ["-municode", "-static"]),
                                  ("wininet_attrappe.c", umgebung.arbeit / "WININET.DLL", ["-shared"])):
            subprocess.run([f"{mingw}-gcc", "-std=c11", "-O2", *art, "-o", ziel, WIN32 / quelle], check=True)
        self.menue = self.c / "ProgramData/Microsoft/Windows/Start Menu/Programs"
        self.startup = self.menue / "StartUp/Dadaviru_Autostart.lnk"
        self.aufgabe = self.c / "aufgabe.xml"

    def hosts_schreiben(self):
        """Each host name on the address the services serve it from; their addresses, at the port of its URL."""
        zeilen = ["127.0.0.1 localhost"]
        self.adressen = []
        for i, url in enumerate(self.urls):
            m = re.fullmatch(r"http://([^/:]+)(?::(\d+))?(/.*)?", url)
            name = m[1]
            assert re.fullmatch(r"[A-Za-z0-9.-]*[A-Za-z][A-Za-z0-9.-]*", name), \
                f"pass {i} asks {name}, which a hosts file cannot send to loopback"
            zeilen.append(f"127.0.0.{i + 1} {name}")
            self.adressen.append((f"127.0.0.{i + 1}", int(m[2] or 80)))
        hosts = self.umgebung.arbeit / "hosts"
        hosts.write_text("\n".join(zeilen) + "\n")
        return hosts

    def setup_bauen(self, windows, version, numerisch):
        """The same installer script around the 64-bit programs, signed as the real one is."""
        quellen = Path(self.bau.quellen)
        programme = self.umgebung.arbeit / "programme"
        programme.mkdir()
        for exe in ("Dadaviru.exe", "Dadaviru_Autostart.exe"):
            shutil.copy(windows / "app" / exe, programme)
        optionen = ["-DZIEL=amd64-unicode"]
        env = dict(os.environ)
        if self.zertifikat:
            env.update(DADAVIRU_ZERTIFIKAT=str(self.zertifikat), DADAVIRU_SCHLUESSEL=str(self.schluessel))
            for exe in programme.glob("*.exe"):
                subprocess.run(["bash", quellen / "tools/signieren.sh", exe], env=env, check=True)
            optionen.append(f"-DSIGNIEREN=bash {quellen}/tools/signieren.sh")
        self.echtes_setup = self.setup
        self.setup = self.umgebung.arbeit / "setup64.exe"
        subprocess.run(["makensis", "-V1", "-NOCD", f"-DVERSION={version}", f"-DNUMERISCH={numerisch}",
                        f"-DQUELLE={programme}", f"-DLIZENZ={quellen}/LICENSE", f"-DAUSGABE={self.setup}", *optionen,
                        quellen / "app/win32/dadaviru.nsi"], env=env, check=True)

    def wine(self, *befehl, warten=False, zeitlimit=120, env=None):
        """A Windows program under Wine, bounded in time. With `warten`, then the prefix's Wine server
        is waited for: by then whatever the program left running has ended too (an uninstaller hands
        over to its copy in Temp), and the registry is on disk."""
        lauf = self.umgebung.ausfuehren("wine", *befehl, zeitlimit=zeitlimit, attrappe=False, env={**self.env, **(env or {})})
        if warten:
            self.umgebung.ausfuehren("wineserver", "-w", zeitlimit=60, attrappe=False, env=self.env)
        return lauf

    def eintrag(self):
        # reg says on stdout that a key is missing, so only its status tells.
        lauf = self.wine("reg", "query", SCHLUESSEL)
        return lauf.stdout.replace("\r", "") if lauf.returncode == 0 else ""

    def befehle(self):
        log = self.c / "schtasks.log"
        return log.read_text(errors="replace").replace("\r", "") if log.exists() else ""

    def nichts_uebrig(self, wann):
        """Nothing of ours anywhere in the prefix: no file or folder, no task, no registry key or value.
        The registry files are only current once the Wine server has ended."""
        reste = [str(p) for p in self.c.rglob("*") if "dadaviru" in p.name.lower() and p.name != "schtasks.log"]
        assert not reste, f"{wann}: left behind: {reste}"
        assert not self.aufgabe.exists(), f"{wann}: the task is still there"
        assert self.eintrag() == "", f"{wann}: the uninstall entry is still there"
        for reg in self.prefix.glob("*.reg"):
            assert "dadaviru" not in reg.read_text(errors="replace").lower(), f"{wann}: left in {reg.name}"

    def installiert_pruefen(self, wann):
        """The installer's files, Start-menu entry and "Apps & features" entry; the install folder."""
        e = self.eintrag()
        werte = {m[1]: m[3] for m in re.finditer(r"^ *(\S+) +(REG_\w+) +(.*)$", e, re.M)}
        # Program Files of the installer's own width.
        assert werte.get("InstallLocation") == ORT, f"{wann}: installed into {werte.get('InstallLocation')}"
        ordner = Path(self.wine("winepath", "-u", ORT).stdout.strip())
        for datei in ("Dadaviru.exe", "Dadaviru_Autostart.exe", "LICENSE.txt", "Uninstall.exe"):
            assert (ordner / datei).is_file(), f"{wann}: no {datei} in Program Files"
        assert (self.menue / "Dadaviru.lnk").is_file(), f"{wann}: no Start-menu entry"
        erwartet = {"DisplayName": "Dadaviru", "DisplayVersion": self.version, "Publisher": "The Dadaviru developers",
                    "DisplayIcon": ORT + r"\Dadaviru.exe,0", "UninstallString": f'"{ORT}\\Uninstall.exe"'}
        for name, wert in erwartet.items():
            assert werte.get(name) == wert, f"{wann}: the uninstall entry's {name}: {e}"
        assert int(werte.get("EstimatedSize", "0"), 0) > 100, f"{wann}: EstimatedSize: {e}"
        return ordner

    def autostart_pruefen(self, vorher, jetzt):
        """Only the autostart chosen now, however the install before started the program."""
        wer = f"'{jetzt}' over '{vorher}'"
        if jetzt == "aufgabe":
            assert re.search(r'^"C:\\windows\\system32\\schtasks\.exe" /Create /TN "Dadaviru_Autostart" '
                             r'/XML "[^"]*\\aufgabe\.xml" /F$', self.befehle(), re.I | re.M), \
                f"{wer}: schtasks was run as: {self.befehle()}"
            xml = self.aufgabe.read_bytes().decode("utf-16").replace("\r", "")
            for teil in ("<LogonTrigger><Enabled>true</Enabled></LogonTrigger>", "<RunLevel>HighestAvailable</RunLevel>",
                         "<GroupId>S-1-5-32-545</GroupId>", f'<Command>"{ORT}\\Dadaviru_Autostart.exe"</Command>',
                         f"<WorkingDirectory>{ORT}</WorkingDirectory>",
                         "<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>"):
                assert teil in xml, f"{wer}: the task lacks {teil}: {xml}"
        assert self.startup.exists() == (jetzt == "ordner"), f"{wer}: the Startup shortcut"
        assert self.aufgabe.exists() == (jetzt == "aufgabe"), f"{wer}: the task"

    def signiert(self, datei):
        return subprocess.run(["osslsigncode", "verify", "-CAfile", self.zertifikat, "-in", datei],
                              capture_output=True).returncode == 0


@pytest.fixture
def installer(umgebung, bau, namensraeume):
    i = Installer(umgebung, bau, namensraeume)
    yield i
    # The Wine server of the prefix outlives its last program by a few seconds.
    umgebung.ausfuehren("wineserver", "-w", zeitlimit=30, attrappe=False, env=i.env)


@pytest.mark.ctest(zeitlimit=1200, etiketten=("pakete",))
def test_installer_unter_wine(installer, dienste, anzeige, umgebung):
    i = installer
    i.nichts_uebrig("a fresh prefix")

    # Refused, with nothing installed: a choice the installer does not know, and any folder but its
    # own in Program Files, such as one on the system drive's root, which every user may change.
    for falsch in ("/AUTOSTART=immer", r"/D=C:\Dadaviru"):
        assert i.wine(i.setup, "/S", falsch, warten=True).returncode != 0, f"the installer accepted {falsch}"
    i.nichts_uebrig("the refused installs")

    vorher = "keine"
    for wahl in WAHLEN:
        argumente = ["/S", *[f"/AUTOSTART={wahl}"] * bool(wahl)]
        # /D= takes the rest of the command line, unquoted; so two words that Wine joins with a blank.
        if wahl == "keine":
            argumente += [r"/D=C:\Program", r"Files\Dadaviru"]
        (i.c / "schtasks.log").unlink(missing_ok=True)
        lauf = i.wine(i.setup, *argumente)
        assert lauf.returncode == 0, f"install of '{wahl}' over '{vorher}' exited with {lauf.returncode}"
        ordner = i.installiert_pruefen(wahl or "the default")
        i.autostart_pruefen(vorher, wahl or "aufgabe")
        if i.zertifikat and not wahl:
            for datei in ("Dadaviru.exe", "Dadaviru_Autostart.exe", "Uninstall.exe"):
                assert i.signiert(ordner / datei), f"{datei} is not signed"
        vorher = wahl or "aufgabe"

    # The installed programs, as the task or the shortcut starts them, with a WININET.DLL beside
    # them: Wine, like Windows, loads a native WinINet it finds there. Each must take the system's,
    # fetch in pass order, have its clock writes refused, and end by itself.
    shutil.copy(umgebung.arbeit / "WININET.DLL", ordner)
    env = {**i.env, **anzeige.env, "WINEDEBUG": "-all,err+sync,+loaddll",
           "WINEDLLOVERRIDES": i.env["WINEDLLOVERRIDES"] + ";wininet=n,b"}
    for programm in ("Dadaviru", "Dadaviru_Autostart"):
        dienste.beenden()
        dienste.protokoll.unlink(missing_ok=True)
        for (adresse, port), antwort in zip(i.adressen, PASS_ANTWORTEN):
            dienste.starten("--body", antwort, adresse=adresse, port=port, attrappe=False)
        vierter = dienste.starten("--body", PASS_ANTWORTEN[3], adresse="127.0.0.4", attrappe=False)
        (umgebung.arbeit / "dadaviru.txt").write_text(vierter.url + "\n")
        wine_log = umgebung.arbeit / f"wine.{programm}.log"
        with open(wine_log, "w") as log:
            prozess = umgebung.starten("wine", f"{ORT}\\{programm}.exe", env=env, attrappe=False, fehlerausgabe=log)
        # Dadaviru_Autostart waits its 30 s first. A program that took the planted DLL breaks off at
        # its first call into it; that is told first.
        warten_auf(150, lambda: prozess.poll() is not None)
        assert not (i.c / "gepflanzt.txt").exists(), f"{programm} loaded the planted WININET.DLL"
        erwarten(lambda: prozess.poll() is not None, 10, f"{programm} ending by itself")
        assert prozess.returncode == 0, f"{programm} exited with {prozess.returncode}"
        assert dienste.anfragen() == ["GET /zeit.php", "GET /zeit.php", "GET /", "GET /zeit.php"]
        bericht = wine_log.read_text(errors="replace")
        assert bericht.count("NtSetSystemTime not allowed") == 8, f"{programm}: refused clock writes: {bericht}"
        assert re.search(r'Loaded L"C:\\\\windows\\\\(system32|syswow64)\\\\wininet\.dll"', bericht, re.I), \
            f"{programm} did not load the system's WinINet: {[z for z in bericht.splitlines() if 'wininet' in z.lower()]}"
    dienste.beenden()
    (ordner / "WININET.DLL").unlink()

    assert i.wine(ordner / "Uninstall.exe", "/S", warten=True).returncode == 0, "uninstall failed"
    assert re.search(r'^"C:\\windows\\system32\\schtasks\.exe" /Delete /TN "Dadaviru_Autostart" /F$', i.befehle(),
                     re.I | re.M), f"the uninstall did not remove the task: {i.befehle()}"
    i.nichts_uebrig("after the uninstall")
    if i.zertifikat:
        assert i.signiert(getattr(i, "echtes_setup", i.setup)), "the installer is not signed"
