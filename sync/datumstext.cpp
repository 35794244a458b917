// Reads dates and times of day from the fields of a time answer.
// SPDX-License-Identifier: MIT
#include "datumstext.h"

#include <string>

namespace dadaviru {

namespace {

bool ist_ziffer(char c) { return c >= '0' && c <= '9'; }

// Reads between `min` and `max` digits.
std::optional<int> zahl_lesen(std::string_view& s, std::size_t min, std::size_t max) {
    std::size_t n = 0;
    int wert = 0;
    while (n < s.size() && n < max && ist_ziffer(s[n]))
        wert = wert * 10 + (s[n++] - '0');
    if (n < min) return std::nullopt;
    s.remove_prefix(n);
    return wert;
}

// Our own short form of a date pattern: J year, M month, T day, anything else literal.
std::optional<std::string> muster_kuerzen(std::string_view strftime_muster) {
    std::string kurz;
    for (std::size_t i = 0; i < strftime_muster.size(); ++i) {
        const char c = strftime_muster[i];
        if (c != '%') {
            kurz += c;
            continue;
        }
        // glibc's padding flags and the E and O modifiers change nothing for reading.
        while (++i < strftime_muster.size() &&
               std::string_view("-_0^#EO").find(strftime_muster[i]) != std::string_view::npos) {
        }
        if (i == strftime_muster.size()) return std::nullopt;
        switch (strftime_muster[i]) {
            case 'd':
            case 'e':
                kurz += 'T';
                break;
            case 'm':
                kurz += 'M';
                break;
            case 'Y':
            case 'y':
                kurz += 'J';
                break;
            case 'F':
                kurz += "J-M-T";
                break;
            case 'D':
                kurz += "M/T/J";
                break;
            case '%':
                kurz += '%';
                break;
            default:
                return std::nullopt;
        }
    }
    return kurz;
}

std::optional<Datum> nach_muster(std::string_view text, std::string_view kurz) {
    Datum datum;
    for (const char teil : kurz) {
        std::optional<int> zahl;
        switch (teil) {
            case 'J':
                if (!(zahl = zahl_lesen(text, 4, 4))) return std::nullopt;
                datum.jahr = *zahl;
                break;
            case 'M':
                if (!(zahl = zahl_lesen(text, 1, 2))) return std::nullopt;
                datum.monat = *zahl;
                break;
            case 'T':
                if (!(zahl = zahl_lesen(text, 1, 2))) return std::nullopt;
                datum.tag = *zahl;
                break;
            default:
                if (text.empty() || text.front() != teil) return std::nullopt;
                text.remove_prefix(1);
        }
    }
    if (!text.empty() || !ist_kalenderdatum(datum)) return std::nullopt;
    return datum;
}

}  // namespace

std::string_view ohne_leerraum(std::string_view s) {
    const auto leer = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && leer(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && leer(s.back()))
        s.remove_suffix(1);
    return s;
}

bool ist_kalenderdatum(const Datum& d) {
    // 1601 is where the Windows clock starts; keeping the same range makes both builds agree.
    if (d.jahr < 1601 || d.jahr > 9999 || d.monat < 1 || d.monat > 12 || d.tag < 1) return false;
    static constexpr int tage[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool schaltjahr = (d.jahr % 4 == 0 && d.jahr % 100 != 0) || d.jahr % 400 == 0;
    const int im_monat = tage[d.monat - 1] + (d.monat == 2 && schaltjahr ? 1 : 0);
    return d.tag <= im_monat;
}

std::optional<Datum> Datum_aus_text(std::string_view text, std::string_view ortsmuster) {
    text = ohne_leerraum(text);
    if (auto iso = nach_muster(text, "J-M-T")) return iso;
    const auto kurz = muster_kuerzen(ortsmuster);
    if (!kurz || kurz->find('J') == std::string::npos || kurz->find('M') == std::string::npos ||
        kurz->find('T') == std::string::npos)
        return std::nullopt;
    return nach_muster(text, *kurz);
}

std::optional<Uhrzeit> Uhrzeit_aus_text(std::string_view text) {
    text = ohne_leerraum(text);
    const auto stunde = zahl_lesen(text, 1, 2);
    if (!stunde || text.empty() || text.front() != ':') return std::nullopt;
    text.remove_prefix(1);
    const auto minute = zahl_lesen(text, 2, 2);
    if (!minute) return std::nullopt;
    int sekunde = 0;
    if (!text.empty()) {
        if (text.front() != ':') return std::nullopt;
        text.remove_prefix(1);
        const auto s = zahl_lesen(text, 2, 2);
        if (!s || !text.empty()) return std::nullopt;
        sekunde = *s;
    }
    if (*stunde > 23 || *minute > 59 || sekunde > 59) return std::nullopt;
    return Uhrzeit{*stunde, *minute, sekunde};
}

}  // namespace dadaviru
