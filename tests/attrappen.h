// Stand-ins for the platform and the window's services: each records what the run asked of it
// in one shared journal, so tests can check the order of everything that happened.
// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "sync/datumstext.h"
#include "sync/dienste.h"
#include "sync/plattform.h"

namespace dadaviru::test {

using Journal = std::vector<std::string>;

inline std::string text(const Datum& d) {
    char s[32];
    std::snprintf(s, sizeof s, "%04d-%02d-%02d", d.jahr, d.monat, d.tag);
    return s;
}
inline std::string text(const Uhrzeit& z) {
    char s[32];
    std::snprintf(s, sizeof s, "%02d:%02d:%02d", z.stunde, z.minute, z.sekunde);
    return s;
}

class Inet_Attrappe final : public Inet_Dienst {
public:
    explicit Inet_Attrappe(Journal& j) : journal_(j) {}
    std::map<std::string, std::string> antworten;  // URLs not listed fail
    bool werfen = false;
    std::vector<Ankunft> beantwortet;   // when each answer was handed back
    std::optional<Ankunft> angekommen;  // what the client reports, if anything
    std::optional<Ankunft> Angekommen() const override { return angekommen; }
    std::optional<std::string> OpenURL(const std::string& url) override {
        journal_.push_back("OpenURL " + url);
        if (werfen) throw std::runtime_error("fetch");
        const auto it = antworten.find(url);
        if (it == antworten.end()) return std::nullopt;
        beantwortet.push_back(std::chrono::steady_clock::now());
        return it->second;
    }

private:
    Journal& journal_;
};

class Timer_Attrappe final : public Timer_Dienst {
public:
    explicit Timer_Attrappe(Journal& j) : journal_(j) {}
    bool interval_wirft = false;
    void Interval(int ms) override {
        journal_.push_back("Interval " + std::to_string(ms));
        if (interval_wirft) throw std::runtime_error("interval");
    }
    void Enabled(bool an) override { journal_.push_back(std::string("Enabled ") + (an ? "true" : "false")); }

private:
    Journal& journal_;
};

// Understands ISO dates only; the locale orders have tests of their own.
class Umwandlung_Attrappe final : public Umwandlung {
public:
    std::optional<Datum> Datum_lesen(std::string_view t) override { return Datum_aus_text(t, ""); }
    std::optional<Uhrzeit> Uhrzeit_lesen(std::string_view t) override { return Uhrzeit_aus_text(t); }
};

class Uhr_Attrappe final : public Uhr {
public:
    explicit Uhr_Attrappe(Journal& j) : journal_(j) {}
    bool verweigert = false;  // as without the right to change the clock
    bool Datum_setzen(const Datum& d) override {
        journal_.push_back("Datum " + text(d) + (verweigert ? " verweigert" : ""));
        return !verweigert;
    }
    std::vector<Ankunft> ankuenfte;  // of each time write, kept out of the journal
    bool Uhrzeit_setzen(const Uhrzeit& z, const std::optional<Datum>& d, Ankunft angekommen) override {
        journal_.push_back("Uhrzeit " + text(z) + (d ? " am " + text(*d) : "") + (verweigert ? " verweigert" : ""));
        ankuenfte.push_back(angekommen);
        return !verweigert;
    }
    // How far the journal had come when the run said it was over; kept out of the journal itself.
    std::optional<std::size_t> beendet_nach;
    void Lauf_beenden() override { beendet_nach = journal_.size(); }

private:
    Journal& journal_;
};

class Dateien_Attrappe final : public Dateien {
public:
    explicit Dateien_Attrappe(Journal& j) : journal_(j) {}
    Dateifund fund{Suchergebnis::fehlt, {}};
    bool suche_wirft = false;
    std::optional<std::string> inhalt;  // nothing: the open or read fails
    Dateifund Datei_suchen(std::string_view name) override {
        journal_.push_back("suchen " + std::string(name));
        if (suche_wirft) throw std::runtime_error("lookup");
        return fund;
    }
    std::optional<std::string> Datei_lesen(const std::string& name, std::size_t) override {
        journal_.push_back("lesen " + name);
        return inhalt;
    }

private:
    Journal& journal_;
};

// Everything a run or a window is handed, as stand-ins sharing one journal.
struct Attrappen {
    Journal journal;
    Inet_Attrappe inet{journal};
    Timer_Attrappe timer{journal};
    Umwandlung_Attrappe umwandlung;
    Uhr_Attrappe uhr{journal};
    Dateien_Attrappe dateien{journal};
    Plattform plattform{umwandlung, uhr, dateien};
};

}  // namespace dadaviru::test
