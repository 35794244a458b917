// Reads dates and times of day written as text: ISO dates, dates in a locale's order, and HH:MM(:SS).
// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string_view>

#include "plattform.h"

namespace dadaviru {

bool ist_kalenderdatum(const Datum& datum);

// The text without the spaces and tabs around it.
std::string_view ohne_leerraum(std::string_view text);

// Blanks (spaces, tabs) around the text are ignored.
// `ortsmuster` is the locale's date format in strftime notation (such as "%d.%m.%Y");
// besides it, YYYY-MM-DD is always understood. Years have four digits, day and month one or two.
std::optional<Datum> Datum_aus_text(std::string_view text, std::string_view ortsmuster);

// H:MM or H:MM:SS, hours with one or two digits. A text with only a date is no time.
std::optional<Uhrzeit> Uhrzeit_aus_text(std::string_view text);

}  // namespace dadaviru
