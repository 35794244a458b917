// libFuzzer target: the override file's field reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sync/uebersteuerung.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* daten, std::size_t groesse) {
    const std::string_view text(reinterpret_cast<const char*>(daten), groesse);
    if (const auto feld = dadaviru::Feld_lesen(text)) {
        // The field is a piece of the input and never empty.
        if (feld->empty() || feld->size() > text.size()) __builtin_trap();
    }
    return 0;
}
