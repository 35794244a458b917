// Date and time conversions on Windows, following the user's locale through VarDateFromStr.
// SPDX-License-Identifier: MIT
#include "umwandlung_win32.h"

#include <windows.h>

#include <oleauto.h>

#include <cmath>

#include "../datumstext.h"
#include "utf16.h"

namespace dadaviru::win32 {

namespace {

std::optional<double> variant_lesen(std::string_view text) {
    text = ohne_leerraum(text);
    if (text.empty()) return std::nullopt;
    auto breit = Utf16(text);
    if (!breit) return std::nullopt;
    DATE wert = 0;
    // VarDateFromStr does not write to the text; its declaration merely lacks the const.
    if (FAILED(VarDateFromStr(breit->data(), LOCALE_USER_DEFAULT, 0, &wert))) return std::nullopt;
    return wert;
}

std::optional<SYSTEMTIME> systemzeit(double wert) {
    SYSTEMTIME st{};
    if (!VariantTimeToSystemTime(wert, &st)) return std::nullopt;
    return st;
}

}  // namespace

// Before 1899-12-30 a variant date counts its days backwards but its time of day forwards
// (-1.25 is 1899-12-29 06:00), so the day is the whole part towards zero and the time its rest.
std::optional<Datum> Datum_aus_variant(double wert) {
    if (!std::isfinite(wert)) return std::nullopt;
    const double tag = std::trunc(wert);
    if (tag == 0) return std::nullopt;
    const auto st = systemzeit(tag);
    if (!st) return std::nullopt;
    const Datum datum{st->wYear, st->wMonth, st->wDay};
    if (!ist_kalenderdatum(datum)) return std::nullopt;
    return datum;
}

std::optional<Uhrzeit> Uhrzeit_aus_variant(double wert) {
    if (!std::isfinite(wert)) return std::nullopt;
    const double tag = std::trunc(wert);
    const double bruch = std::fabs(wert - tag);
    if (tag != 0 && bruch == 0) return std::nullopt;
    const auto st = systemzeit(bruch);
    if (!st) return std::nullopt;
    // A fraction a hair below a whole day rounds up to the next midnight, which is 0:00:00.
    return Uhrzeit{st->wHour, st->wMinute, st->wSecond};
}

std::optional<Datum> Umwandlung_Win32::Datum_lesen(std::string_view text) {
    const auto wert = variant_lesen(text);
    return wert ? Datum_aus_variant(*wert) : std::nullopt;
}

std::optional<Uhrzeit> Umwandlung_Win32::Uhrzeit_lesen(std::string_view text) {
    const auto wert = variant_lesen(text);
    return wert ? Uhrzeit_aus_variant(*wert) : std::nullopt;
}

}  // namespace dadaviru::win32
