#!/usr/bin/env python3
# Splits each run's clock error into its steps, from the service's send to the clock write, and prints
# them as a Markdown table; run by bench/schritte. Reads a list of what the bench recorded, one line
# each:
#   strecke NAME DIENST.pcap KUNDE.pcap PORT   captures at the service's and the client's side
#   lauf NAME WEG UHRZEILE SPAEHER              one run: the interposer's line of its clock write,
#                                              the spaeher's log (bench/spaeher.c)
#   chrony NAME MS                             chronyd -Q's offset on that path
# With --laeufe FILE, also writes every run's steps there, one line each, for a closer look.
# SPDX-License-Identifier: MIT
import argparse
import statistics
import struct
import sys
from collections import defaultdict


def pakete(datei):
    """(time in ns, source port, destination port, TCP flags, payload length) of each TCP/IPv4 packet."""
    with open(datei, "rb") as f:
        daten = f.read()
    if len(daten) < 24:
        return []
    magie = struct.unpack("<I", daten[:4])[0]
    ordnung = "<" if magie in (0xA1B2C3D4, 0xA1B23C4D) else ">"
    magie = struct.unpack(ordnung + "I", daten[:4])[0]
    # Only nanosecond stamps carry what is measured here; microseconds would hide half of it.
    if magie != 0xA1B23C4D:
        sys.exit(f"{datei}: not a capture with nanosecond stamps")
    verbindung = struct.unpack(ordnung + "I", daten[20:24])[0] & 0xFFFF
    kopf = {1: 14, 101: 0, 12: 0, 113: 16, 276: 20}.get(verbindung)
    if kopf is None:
        sys.exit(f"{datei}: link type {verbindung} unknown")
    ergebnis = []
    stelle = 24
    while stelle + 16 <= len(daten):
        sek, nsek, laenge, _ = struct.unpack(ordnung + "IIII", daten[stelle : stelle + 16])
        paket = daten[stelle + 16 : stelle + 16 + laenge]
        stelle += 16 + laenge
        ip = paket[kopf:]
        if len(ip) < 20 or ip[0] >> 4 != 4 or ip[9] != 6:
            continue
        ip_laenge = (ip[0] & 0xF) * 4
        gesamt = struct.unpack("!H", ip[2:4])[0]
        tcp = ip[ip_laenge:]
        if len(tcp) < 20:
            continue
        quelle, ziel = struct.unpack("!HH", tcp[:4])
        tcp_laenge = (tcp[12] >> 4) * 4
        ergebnis.append((sek * 10**9 + nsek, quelle, ziel, tcp[13], gesamt - ip_laenge - tcp_laenge))
    return ergebnis


SYN, ACK = 0x02, 0x10


def antwort(liste, port, bis):
    """The client's port and the time of the answer's last data packet that came before `bis`."""
    treffer = [p for p in liste if p[1] == port and p[4] > 0 and p[0] < bis]
    if not treffer:
        return None, None
    letztes = treffer[-1]
    return letztes[2], letztes[0]


def halbe_runde(liste, port, kunde):
    """Half the handshake's round trip as the service saw it: its SYN-ACK to the client's ACK."""
    synack = next((p[0] for p in liste if p[1] == port and p[2] == kunde and p[3] & SYN and p[3] & ACK), None)
    if synack is None:
        return None
    ack = next((p[0] for p in liste if p[1] == kunde and p[2] == port and p[0] > synack and not p[3] & SYN), None)
    return None if ack is None else (ack - synack) // 2


def spaeher_lesen(datei):
    wachen, lesen = [], []
    try:
        with open(datei) as f:
            for zeile in f:
                teile = zeile.split()
                if teile and teile[0] == "poll":
                    wachen.append(ns(teile[1]))
                elif teile and teile[0] == "recv":
                    lesen.append(ns(teile[3]))
    except FileNotFoundError:
        pass
    return wachen, lesen


def ns(text):
    sek, _, bruch = text.partition(".")
    return int(sek) * 10**9 + int((bruch + "000000000")[:9])


def lauf_schritte(strecke, uhrzeile, spaeher):
    """The steps of one run in ns, or None when the run left no write or no answer in the captures."""
    teile = uhrzeile.split()
    if len(teile) < 6:
        return None
    wert, echt = ns(teile[1]), ns(teile[4])
    dienst, kunde_pcap, port = strecke
    kunde, gesendet = antwort(dienst, port, echt)
    if kunde is None:
        return None
    _, angekommen = antwort([p for p in kunde_pcap if p[2] == kunde], port, echt)
    vorlauf = halbe_runde(dienst, port, kunde)
    if angekommen is None or vorlauf is None:
        return None
    # The answer names the second that begins when it arrives; it left early by less than half a second.
    sekunde = (gesendet + vorlauf + 5 * 10**8) // 10**9 * 10**9
    fehler = wert - echt
    # What the client took as the arrival, in real time: its error is the second minus that instant.
    genommen = sekunde - fehler
    s = {
        "vorlauf": vorlauf,
        "senden": gesendet - (sekunde - vorlauf),
        "ankunft": angekommen - sekunde,
        "verzug": genommen - angekommen,
        "schreiben": echt - genommen,
        "fehler": fehler,
    }
    wachen, lesen = spaeher
    gelesen = [t for t in lesen if angekommen <= t <= echt]
    if gelesen:
        s["lesen"] = gelesen[-1]
        geweckt = [t for t in wachen if angekommen <= t <= s["lesen"]]
        s["wecken"] = (geweckt[-1] if geweckt else s["lesen"]) - angekommen
        s["lesen"] -= angekommen + s["wecken"]
        s["danach"] = s["verzug"] - s["wecken"] - s["lesen"]
    return s


def zusammenfassen(werte):
    if not werte:
        return "n/a"
    ms = sorted(w / 1e6 for w in werte)
    return f"{ms[0]:.3f} / {statistics.median(ms):.3f} / {ms[-1]:.3f}"


def main():
    argumente = argparse.ArgumentParser()
    argumente.add_argument("liste")
    argumente.add_argument("--laeufe")
    a = argumente.parse_args()

    strecken, namen = {}, []
    schritte = defaultdict(lambda: defaultdict(list))  # (path, write path) -> step -> values
    chrony = defaultdict(list)
    zeilen = []
    with open(a.liste) as f:
        for zeile in f:
            teile = zeile.split()
            if not teile:
                continue
            if teile[0] == "strecke":
                name, dienst, kunde, port = teile[1:5]
                dienst_p = pakete(dienst)
                strecken[name] = (dienst_p, dienst_p if kunde == dienst else pakete(kunde), int(port))
                namen.append(name)
            elif teile[0] == "lauf":
                name, weg, uhr, spaeher = teile[1:5]
                with open(uhr) as u:
                    uhrzeile = u.read().strip()
                s = lauf_schritte(strecken[name], uhrzeile, spaeher_lesen(spaeher))
                if s is None:
                    print(f"schritte: {name}, {weg}: a run left no write or no answer", file=sys.stderr)
                    continue
                zeilen.append(f"{name}\t{weg}\t" + "\t".join(f"{k}={v / 1e6:.3f}" for k, v in s.items()))
                for k, v in s.items():
                    schritte[(name, weg)][k].append(v)
                    schritte[(name, "alle")][k].append(v)
            elif teile[0] == "chrony":
                chrony[teile[1]].append(float(teile[2]) * 1e6)
    if a.laeufe:
        with open(a.laeufe, "w") as f:
            f.write("\n".join(zeilen) + "\n")

    wege = sorted({weg for (_, weg) in schritte if weg != "alle"}, key=lambda w: (w != "uhrsteller", w))
    reihen = [
        ("the service's lead: half the handshake's round trip at its side", "alle", "vorlauf"),
        ("the service's send behind its plan (the second minus the lead)", "alle", "senden"),
        ("the answer's arrival at the client behind its second", "alle", "ankunft"),
    ]
    for weg in wege:
        reihen += [
            (f"{weg}: client wakes from poll() after the kernel's arrival", weg, "wecken"),
            (f"{weg}: client's recv() of the answer after its wake-up", weg, "lesen"),
            (f"{weg}: instant the client takes as the arrival, after its recv()", weg, "danach"),
            (f"{weg}: client's lag, kernel's arrival to the instant it takes", weg, "verzug"),
            (f"{weg}: that instant to the clock write (carried forward, not an error)", weg, "schreiben"),
            (f"{weg}: **clock error** (value written minus real time)", weg, "fehler"),
        ]
    titel_von = {"loopback": "loopback", "80ms": "80 ms path"}
    print("| step | " + " | ".join(f"{titel_von.get(n, n)} (min / median / max ms)" for n in namen) + " |")
    print("|---|" + "---|" * len(namen))
    for titel, weg, schluessel in reihen:
        print(f"| {titel} | " + " | ".join(zusammenfassen(schritte[(n, weg)][schluessel]) for n in namen) + " |")
    if chrony:
        print("| chronyd -Q's offset on the same path | " + " | ".join(zusammenfassen(chrony[n]) for n in namen) + " |")


if __name__ == "__main__":
    main()
