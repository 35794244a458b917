# Two guards that need the program in a private mount namespace (so root): the answers are read in
# the machine's own zone (/etc/localtime), whatever TZ the caller sets; and a service in dadaviru.txt
# that answers over https cannot redirect the program to plain http.
# SPDX-License-Identifier: MIT
import calendar
import re
import subprocess

import pytest

from namensraum import gebunden
from sicher import erwarten

pytestmark = [pytest.mark.usefixtures("ohne_anzeige"), pytest.mark.ctest(zeitlimit=180, sperren=("loopback_ports",))]


# The machine's zone is New York, the caller's TZ Berlin: 12:00 is 17:00 UTC, not 11:00.
def test_zone_der_maschine_nicht_des_aufrufers(umgebung, dienste, bau):
    dienste.eingebaut(0, "--body", "2026-01-15 12:00:00")
    umgebung.ausfuehren(*gebunden({"/usr/share/zoneinfo/America/New_York": "/etc/localtime"}, bau.dadaviru),
                        env={"TZ": "Europe/Berlin"}, pruefen=True)
    zeilen = umgebung.uhr_zeilen()
    assert len(zeilen) == 2, f"expected a date and a time write: {zeilen}"
    assert int(float(zeilen[1].split()[1])) == calendar.timegm((2026, 1, 15, 17, 0, 0)), zeilen[1]


# An https service, trusted through a certificate of the test's own: one path sends the program on to itself
# over https, which it follows; the other to a plain http service, which it must not ask.
def test_https_leitet_nicht_zu_http_um(umgebung, dienste, bau):
    tls = umgebung.arbeit / "tls"
    seiten = tls / "seiten"
    seiten.mkdir(parents=True)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.5",
                    "-addext", "subjectAltName=IP:127.0.0.5", "-keyout", tls / "schluessel.pem",
                    "-out", tls / "zertifikat.pem"], check=True, capture_output=True)
    klar = dienste.starten("--body", "2005-05-05 05:05:05", adresse="127.0.0.5")
    # s_server -HTTP sends each file as the whole answer, head included, and ends the connection.
    umgebung.starten("openssl", "s_server", "-accept", "127.0.0.5:0", "-cert", "../zertifikat.pem",
                     "-key", "../schluessel.pem", "-HTTP", cwd=seiten, ausgabe=tls / "server.log", attrappe=False)
    sicher = "127.0.0.5:" + erwarten(lambda: re.search(r"^ACCEPT .*:(\d+)$", (tls / "server.log").read_text(), re.M),
                                     10, "the https service")[1]
    (seiten / "hoch").write_text(f"HTTP/1.0 302 Found\r\nLocation: https://{sicher}/ziel\r\n\r\n")
    (seiten / "ziel").write_text("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n2006-06-06 06:06:06")
    (seiten / "runter").write_text(f"HTTP/1.0 302 Found\r\nLocation: {klar.url}\r\n\r\n")

    def ueber_https(pfad):
        (umgebung.arbeit / "dadaviru.txt").write_text(f"https://{sicher}/{pfad}\n")
        umgebung.uhr_protokoll.unlink(missing_ok=True)
        umgebung.ausfuehren(*gebunden({tls / "zertifikat.pem": "/etc/ssl/certs/ca-certificates.crt"},
                                      bau.dadaviru), pruefen=True)
        return umgebung.geschrieben()

    assert ueber_https("hoch")[-1:] == ["2006-06-06 06:06:06"], "https to https was not followed"
    geschrieben = ueber_https("runter")
    assert klar.anfragen() == [], "https was redirected to http"
    assert geschrieben == [], "an answer over plain http was written"
