// Reads the URL of the fourth time source from the override file.
// SPDX-License-Identifier: MIT
#include "uebersteuerung.h"

#include "schutz.h"

namespace dadaviru {

namespace {

bool ist_leerzeichen(char c) { return c == ' ' || c == '\t'; }
bool ist_zeilenende(char c) { return c == '\r' || c == '\n'; }

constexpr std::string_view bom = "\xEF\xBB\xBF";

void utf8_anhaengen(std::string& ziel, char32_t c) {
    if (c < 0x80) {
        ziel += static_cast<char>(c);
    } else if (c < 0x800) {
        ziel += static_cast<char>(0xC0 | (c >> 6));
        ziel += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        ziel += static_cast<char>(0xE0 | (c >> 12));
        ziel += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        ziel += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        ziel += static_cast<char>(0xF0 | (c >> 18));
        ziel += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        ziel += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        ziel += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string Als_utf8(std::string_view bytes) {
    const bool le = bytes.starts_with("\xFF\xFE");
    if (!le && !bytes.starts_with("\xFE\xFF")) return std::string(bytes);

    const auto einheit = [&](std::size_t i) -> char32_t {
        const auto b0 = static_cast<unsigned char>(bytes[i]), b1 = static_cast<unsigned char>(bytes[i + 1]);
        return le ? char32_t(b0 | b1 << 8) : char32_t(b1 | b0 << 8);
    };
    const auto ist_hoch = [](char32_t e) { return e >= 0xD800 && e <= 0xDBFF; };
    const auto ist_tief = [](char32_t e) { return e >= 0xDC00 && e <= 0xDFFF; };

    std::string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        char32_t c = einheit(i);
        if (ist_hoch(c) && i + 3 < bytes.size() && ist_tief(einheit(i + 2))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (einheit(i + 2) - 0xDC00);
            i += 2;
        } else if (ist_hoch(c) || ist_tief(c)) {
            c = 0xFFFD;
        }
        utf8_anhaengen(text, c);
    }
    return text;
}

std::optional<std::string> Feld_lesen(std::string_view text, bool abgeschnitten) {
    if (text.starts_with(bom)) text.remove_prefix(bom.size());

    std::size_t pos = 0;
    while (pos < text.size() && ist_leerzeichen(text[pos]))
        ++pos;
    if (pos == text.size()) return std::nullopt;

    std::string_view feld;
    if (text[pos] == '"') {
        const std::size_t anfang = pos + 1;
        std::size_t ende = text.find('"', anfang);
        if (ende == std::string_view::npos) {
            ende = anfang;
            while (ende < text.size() && !ist_zeilenende(text[ende]))
                ++ende;
        }
        if (ende == text.size() && abgeschnitten) return std::nullopt;
        feld = text.substr(anfang, ende - anfang);
    } else {
        std::size_t ende = pos;
        while (ende < text.size() && text[ende] != ',' && !ist_zeilenende(text[ende]))
            ++ende;
        if (ende == text.size() && abgeschnitten) return std::nullopt;
        while (ende > pos && ist_leerzeichen(text[ende - 1]))
            --ende;
        feld = text.substr(pos, ende - pos);
    }
    if (feld.empty()) return std::nullopt;
    return std::string(feld);
}

std::optional<std::string> Uebersteuerung_lesen(Dateien& dateien) {
    Dateifund fund;
    // A failed lookup is not a missing file: the file is then opened under its own name.
    fund.ergebnis = Suchergebnis::fehlgeschlagen;
    fund.name = Uebersteuerungsdatei;
    geschuetzt([&] { fund = dateien.Datei_suchen(Uebersteuerungsdatei); });
    if (fund.ergebnis == Suchergebnis::fehlt) return std::nullopt;
    if (fund.ergebnis == Suchergebnis::fehlgeschlagen) fund.name = Uebersteuerungsdatei;

    // One byte more than is used tells whether the file goes on past the limit.
    std::optional<std::string> inhalt;
    geschuetzt([&] { inhalt = dateien.Datei_lesen(fund.name, Uebersteuerung_hoechstens + 1); });

    std::optional<std::string> url;
    geschuetzt([&] {
        if (!inhalt) return;
        const bool abgeschnitten = inhalt->size() > Uebersteuerung_hoechstens;
        if (abgeschnitten) inhalt->resize(Uebersteuerung_hoechstens);
        url = Feld_lesen(Als_utf8(*inhalt), abgeschnitten);
    });
    return url;
}

}  // namespace dadaviru
