// The time service's command line.
// SPDX-License-Identifier: MIT
#include "einstellungen.h"

#include "zeittakt.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace zeitdienst {

void verwendung(std::FILE* aus, const char* name) {
    std::fprintf(aus,
                 "usage: %s [OPTION]...\n"
                 "Answers HTTP GET on / and /zeit.php with the local time as \"YYYY-MM-DD HH:MM:SS\".\n"
                 "By default a request is held until the next whole second begins and answered at that\n"
                 "instant with that second, so the client's clock lands within milliseconds.\n"
                 "\n"
                 "  --bind ADDR          listen on this numeric IPv4 or IPv6 address (default 127.0.0.1)\n"
                 "  --port N             listen on this TCP port (default 8123; 0 picks a free one). A port\n"
                 "                       in use is an error. Under systemd socket activation the passed\n"
                 "                       socket is used and --bind and --port are ignored.\n"
                 "  --zone NAME          answer in this IANA time zone, e.g. Europe/Berlin (default: TZ,\n"
                 "                       else the machine's zone). Clients write the text as their local\n"
                 "                       time, so they must live in the same zone.\n"
                 "  --sofort             answer at once, with the time rounded to the nearest second\n"
                 "  --no-lead            send a held answer as its second begins; by default it leaves\n"
                 "                       early by half the round trip the kernel measured on its\n"
                 "                       connection (at most %lld ms), so that it arrives then\n"
                 "  --max-error MS       count the clock as unsynchronised when the kernel's estimate of\n"
                 "                       its maximum error is above this (default 2000)\n"
                 "  --serve-unsynchronised\n"
                 "                       answer with the time even when the kernel says the clock is not\n"
                 "                       synchronised; by default such a service answers 503\n"
                 "  --log FILE           access log in Common Log Format; \"-\" is stdout (the default\n"
                 "                       under systemd), \"off\" writes none (the default otherwise). A file\n"
                 "                       is opened once, never through a symbolic link, and opened afresh\n"
                 "                       on SIGHUP\n"
                 "  --user NAME          started as root: serve as this user, once the port and the log are\n"
                 "                       open (default nobody)\n"
                 "  --max-connections N  open connections at most (default 16384); when all are taken, a\n"
                 "                       kept-alive one that waits is closed for a new client, else the one\n"
                 "                       that has been reading its request the longest\n"
                 "  --max-per-address N  open connections from one address at most, or from one /64\n"
                 "                       network of IPv6 (default 256); beyond them new ones are refused\n"
                 "  --max-per-network N  open connections from one /48 network of IPv6 at most (default:\n"
                 "                       four times --max-per-address, 1024)\n"
                 "  --header-timeout MS  the whole request must arrive within this (default 5000)\n"
                 "  --max-header BYTES   longest request head; longer ones get 431 (default 8192)\n"
                 "  --threads N          event loops (default: one per core)\n"
                 "  --help               show this help and exit\n"
                 "  --version            show the version and exit\n",
                 name, static_cast<long long>(kVorlaufHoechstens.count()));
}

bool zahl_lesen(std::string_view s, long min, long max, long& wert) {
    long v = 0;
    const auto [rest, fehler] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (fehler != std::errc{} || rest != s.data() + s.size() || v < min || v > max) return false;
    wert = v;
    return true;
}

Gelesen einstellungen_lesen(int argc, char** argv, Einstellungen& e) {
    if (const char* u = std::getenv("INVOCATION_ID"); u != nullptr && *u != '\0') e.protokoll = "-";
    for (int i = 1; i < argc; ++i) {
        std::string_view name = argv[i];
        if (name == "--help" || name == "-h") return Gelesen::hilfe;
        if (name == "--version") return Gelesen::version;
        if (name == "--sofort") {
            e.sofort = true;
            continue;
        }
        if (name == "--no-lead") {
            e.vorlauf = false;
            continue;
        }
        if (name == "--serve-unsynchronised") {
            e.ungestellt_bedienen = true;
            continue;
        }
        std::string_view wert;
        if (const auto gleich = name.find('='); name.starts_with("--") && gleich != std::string_view::npos) {
            wert = name.substr(gleich + 1);
            name = name.substr(0, gleich);
        } else {
            if (i + 1 >= argc) return Gelesen::falsch;
            wert = argv[++i];
        }
        bool ok = true;
        if (name == "--bind" && !wert.empty())
            e.adresse = wert;
        else if (name == "--port")
            ok = zahl_lesen(wert, 0, 65535, e.port);
        else if (name == "--zone" && !wert.empty())
            e.zone = wert;
        else if (name == "--log" && !wert.empty())
            e.protokoll = wert == "off" ? "" : std::string(wert);
        else if (name == "--user" && !wert.empty())
            e.benutzer = wert;
        else if (name == "--max-connections")
            ok = zahl_lesen(wert, 1, 1'000'000, e.verbindungen_hoechstens);
        else if (name == "--max-per-address")
            ok = zahl_lesen(wert, 1, 1'000'000, e.je_adresse_hoechstens);
        else if (name == "--max-per-network")
            ok = zahl_lesen(wert, 1, 4'000'000, e.je_netz);
        else if (name == "--header-timeout")
            ok = zahl_lesen(wert, 1, 600'000, e.kopf_frist_ms);
        else if (name == "--max-header")
            ok = zahl_lesen(wert, 256, 1 << 20, e.kopf_hoechstens);
        else if (name == "--max-error")
            ok = zahl_lesen(wert, 1, 16'000, e.hoechstfehler_ms);
        else if (name == "--threads")
            ok = zahl_lesen(wert, 1, 256, e.faeden);
        else
            return Gelesen::falsch;
        if (!ok) return Gelesen::falsch;
    }
    return Gelesen::weiter;
}

}  // namespace zeitdienst
