// libFuzzer target: the override file's decoding and field reader on arbitrary bytes.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sync/uebersteuerung.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* daten, std::size_t groesse) {
    const std::string_view bytes(reinterpret_cast<const char*>(daten), groesse);
    const std::string text = dadaviru::Als_utf8(bytes);
    // UTF-16 takes two bytes for every character that UTF-8 writes in up to three.
    if (text.size() > bytes.size() * 3 / 2 + 3) __builtin_trap();
    for (const bool abgeschnitten : {false, true}) {
        if (const auto feld = dadaviru::Feld_lesen(text, abgeschnitten)) {
            // The field is a piece of the text and never empty.
            if (feld->empty() || feld->size() > text.size()) __builtin_trap();
        }
    }
    return 0;
}
