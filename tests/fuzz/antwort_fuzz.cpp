// libFuzzer target: cutting a time answer and converting its fields, on arbitrary bytes.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sync/datumstext.h"
#include "sync/zeitantwort.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* daten, std::size_t groesse) {
    const std::string_view antwort(reinterpret_cast<const char*>(daten), groesse);
    const auto felder = dadaviru::Antwort_schneiden(antwort);
    // At most 10 and 8 characters of at most 4 bytes each.
    if (felder.datum.size() > 40 || felder.zeit.size() > 32) __builtin_trap();
    for (const char* muster : {"", "%d.%m.%Y", "%m/%d/%y", "%-d.%-m.%Y"}) {
        if (const auto d = dadaviru::Datum_aus_text(felder.datum, muster)) {
            if (!dadaviru::ist_kalenderdatum(*d)) __builtin_trap();
        }
    }
    if (const auto z = dadaviru::Uhrzeit_aus_text(felder.zeit)) {
        if (z->stunde < 0 || z->stunde > 23 || z->minute < 0 || z->minute > 59 || z->sekunde < 0 || z->sekunde > 59)
            __builtin_trap();
    }
    return 0;
}
