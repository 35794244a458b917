// Cuts a time answer into its date and time fields and writes them to the clock.
// SPDX-License-Identifier: MIT
#include "zeitantwort.h"

#include <cstdint>
#include <optional>

#include "schutz.h"

namespace dadaviru {

namespace {

constexpr std::string_view ersatzzeichen = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence at the start of `s`, or 0 when there is none.
std::size_t sequenzlaenge(std::string_view s) {
    const auto b = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
    const auto folgebyte = [&](std::size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
    const std::uint8_t c = b(0);
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return folgebyte(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!folgebyte(1) || !folgebyte(2)) return 0;
        if (c == 0xE0 && b(1) < 0xA0) return 0;  // overlong
        if (c == 0xED && b(1) > 0x9F) return 0;  // surrogate
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!folgebyte(1) || !folgebyte(2) || !folgebyte(3)) return 0;
        if (c == 0xF0 && b(1) < 0x90) return 0;  // overlong
        if (c == 0xF4 && b(1) > 0x8F) return 0;  // beyond U+10FFFF
        return 4;
    }
    return 0;
}

}  // namespace

Zeitfelder Antwort_schneiden(std::string_view antwort) {
    if (antwort.starts_with("\xEF\xBB\xBF")) antwort.remove_prefix(3);

    Zeitfelder felder;
    std::size_t zeichen = 0;  // characters counted from 1, as the layout does
    while (!antwort.empty() && zeichen < 19) {
        const std::size_t laenge = sequenzlaenge(antwort);
        const std::string_view stueck = laenge ? antwort.substr(0, laenge) : ersatzzeichen;
        antwort.remove_prefix(laenge ? laenge : 1);
        ++zeichen;
        if (zeichen <= 10)
            felder.datum += stueck;
        else if (zeichen >= 12)
            felder.zeit += stueck;
    }
    return felder;
}

void Antwort_anwenden(std::string_view antwort, Umwandlung& umwandlung, Uhr& uhr, Ankunft angekommen) {
    Zeitfelder felder;
    geschuetzt([&] { felder = Antwort_schneiden(antwort); });

    std::optional<Datum> geschriebenes_datum;
    geschuetzt([&] {
        const auto datum = umwandlung.Datum_lesen(felder.datum);
        if (datum && uhr.Datum_setzen(*datum)) geschriebenes_datum = datum;
    });
    geschuetzt([&] {
        if (const auto zeit = umwandlung.Uhrzeit_lesen(felder.zeit))
            uhr.Uhrzeit_setzen(*zeit, geschriebenes_datum, angekommen);
    });
}

}  // namespace dadaviru
