// The fourth time source: a URL named in "dadaviru.txt" in the current directory.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "plattform.h"

namespace dadaviru {

inline constexpr std::string_view Uebersteuerungsdatei = "dadaviru.txt";

// Only the start of the file is read; a URL is far shorter.
inline constexpr std::size_t Uebersteuerung_hoechstens = 8 * 1024;

// The first field of the text: blanks before it skipped; a quoted field runs to the closing quote
// (or, without one, to the end of its line); otherwise it ends at a comma or the line's end,
// with trailing blanks dropped. Nothing for an empty field or a text without one.
// `abgeschnitten`: the text is only the start of a longer file, so a field that runs to its end
// has no known end and gives nothing: a cut URL would be fetched as another one.
std::optional<std::string> Feld_lesen(std::string_view text, bool abgeschnitten = false);

// The file's bytes as UTF-8: a file that opens with a UTF-16 byte-order mark (little or big
// endian) is decoded, anything else is taken as it is. A lone surrogate reads as U+FFFD, and a
// last odd byte is dropped.
std::string Als_utf8(std::string_view bytes);

// Looks up, opens, reads and closes the file, each step on its own. Nothing when it gives no URL.
std::optional<std::string> Uebersteuerung_lesen(Dateien& dateien);

}  // namespace dadaviru
