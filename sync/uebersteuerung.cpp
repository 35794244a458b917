// Reads the URL of the fourth time source from the override file.
#include "uebersteuerung.h"

#include "schutz.h"
#include "zeit_setzen.h"

namespace dadaviru {

namespace {

bool ist_leerzeichen(char c) { return c == ' ' || c == '\t'; }
bool ist_zeilenende(char c) { return c == '\r' || c == '\n'; }

constexpr std::string_view bom = "\xEF\xBB\xBF";

}  // namespace

std::optional<std::string> Feld_lesen(std::string_view text) {
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
        feld = text.substr(anfang, ende - anfang);
    } else {
        std::size_t ende = pos;
        while (ende < text.size() && text[ende] != ',' && !ist_zeilenende(text[ende]))
            ++ende;
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

    std::optional<std::string> inhalt;
    geschuetzt([&] { inhalt = dateien.Datei_lesen(fund.name, Uebersteuerung_hoechstens); });

    std::optional<std::string> url;
    geschuetzt([&] {
        if (inhalt) url = Feld_lesen(*inhalt);
    });
    return url;
}

}  // namespace dadaviru
