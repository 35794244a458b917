// Date and time conversions on POSIX systems, in the order of the user's LC_TIME locale.
// SPDX-License-Identifier: MIT
#pragma once

#include "../plattform.h"

namespace dadaviru::posix {

// Reads the locale from the environment at each call (LC_ALL, LC_TIME, LANG), not from the
// process's global locale, so the program needs no setlocale of its own.
class Umwandlung_Posix final : public Umwandlung {
public:
    std::optional<Datum> Datum_lesen(std::string_view text) override;
    std::optional<Uhrzeit> Uhrzeit_lesen(std::string_view text) override;
};

}  // namespace dadaviru::posix
