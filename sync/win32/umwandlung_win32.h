// Date and time conversions on Windows: VarDateFromStr in the user's locale, with the answer's
// two fields held to what each must carry.
// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string_view>

#include "../plattform.h"

namespace dadaviru::win32 {

// What a variant date (days since 1899-12-30, the time of day as the fraction) says.
// A date needs a day other than 1899-12-30, which is what a text with only a time gives, and a
// year from 1601 to 9999, the range of the Windows clock.
std::optional<Datum> Datum_aus_variant(double wert);
// A time of day; a text with only a date gives a whole day and no time.
std::optional<Uhrzeit> Uhrzeit_aus_variant(double wert);

// The user's locale is the one the process started with (LOCALE_USER_DEFAULT).
class Umwandlung_Win32 final : public Umwandlung {
public:
    std::optional<Datum> Datum_lesen(std::string_view text) override;
    std::optional<Uhrzeit> Uhrzeit_lesen(std::string_view text) override;
};

}  // namespace dadaviru::win32
