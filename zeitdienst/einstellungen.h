// The time service's options: what the command line may set, its defaults and its help text.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace zeitdienst {

struct Einstellungen {
    std::string adresse = "127.0.0.1";
    long port = 8123;
    std::string zone;  // empty: the process's own (TZ, else the machine's)
    bool sofort = false;
    bool vorlauf = true;  // a held answer leaves early by half its connection's round trip
    // A clock the kernel does not call synchronised gets 503, unless the publisher says otherwise.
    bool ungestellt_bedienen = false;
    // Above the kernel's estimate of its maximum error the clock counts as unsynchronised too: more
    // than chrony or systemd-timesyncd leave it to grow between their updates, well below the 16 s at
    // which the kernel gives up on it itself.
    long hoechstfehler_ms = 2000;
    std::string protokoll;  // access log: a file, "-" for stdout, empty for none
    long verbindungen_hoechstens = 16384;
    // Each client asks once and holds its connection for a second at most, so this many at once from
    // one address are that many clients behind it starting within the same second; and one address
    // takes no more than a 64th of all places.
    long je_adresse_hoechstens = 256;
    // One IPv6 site commonly has a /48 network, 65536 /64 ones: four addresses' share, unless set.
    long je_netz = 0;
    long je_netz_hoechstens() const { return je_netz > 0 ? je_netz : 4 * je_adresse_hoechstens; }
    long kopf_frist_ms = 5000;
    long kopf_hoechstens = 8192;
    long faeden = 0;                  // 0: one per core
    std::string benutzer = "nobody";  // who serves, when started as root
};

enum class Gelesen { weiter, hilfe, version, falsch };

// Accepts "--name VALUE" and "--name=VALUE"; a later option overrides an earlier one.
Gelesen einstellungen_lesen(int argc, char** argv, Einstellungen& e);

void verwendung(std::FILE* aus, const char* name);

// An option's number: `s` is a decimal number and nothing else, within [min, max]; otherwise false,
// with `wert` left as it was.
bool zahl_lesen(std::string_view s, long min, long max, long& wert);

}  // namespace zeitdienst
