// Date and time conversions on POSIX systems, following the user's LC_TIME locale.
// SPDX-License-Identifier: MIT
#include "umwandlung_posix.h"

#include <langinfo.h>
#include <locale.h>

#include <memory>
#include <string>

#include "../datumstext.h"

namespace dadaviru::posix {

namespace {

struct Ort_freigeben {
    void operator()(locale_t ort) const { freelocale(ort); }
};

// The user's date format, or nothing when the locale they named is not installed.
std::string ortsmuster() {
    const std::unique_ptr<std::remove_pointer_t<locale_t>, Ort_freigeben> ort(newlocale(LC_TIME_MASK, "", nullptr));
    if (!ort) return {};
    const char* muster = nl_langinfo_l(D_FMT, ort.get());
    return muster ? muster : "";
}

}  // namespace

std::optional<Datum> Umwandlung_Posix::Datum_lesen(std::string_view text) { return Datum_aus_text(text, ortsmuster()); }

std::optional<Uhrzeit> Umwandlung_Posix::Uhrzeit_lesen(std::string_view text) { return Uhrzeit_aus_text(text); }

}  // namespace dadaviru::posix
