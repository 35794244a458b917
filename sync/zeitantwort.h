// A time service's answer: a date at characters 1 to 10 and a time of day at 12 to 19.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

#include "plattform.h"

namespace dadaviru {

struct Zeitfelder {
    std::string datum;  // UTF-8
    std::string zeit;   // UTF-8
};

// Cuts by characters of the UTF-8 text, where a byte that starts no valid sequence counts as one
// character (and reads as U+FFFD). A leading byte-order mark is not part of the text.
// Fields take the characters that exist in their range, so a short answer gives short fields.
Zeitfelder Antwort_schneiden(std::string_view antwort);

// Writes the date, then the time of day of one answer that arrived at `angekommen`; each of the
// two writes on its own.
void Antwort_anwenden(std::string_view antwort, Umwandlung& umwandlung, Uhr& uhr, Ankunft angekommen);

}  // namespace dadaviru
