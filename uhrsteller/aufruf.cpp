// The instant's text, written by the programs and read by the helper uhrsteller.
// SPDX-License-Identifier: MIT
#include "aufruf.h"

#include <charconv>
#include <cstdint>
#include <cstdio>

#include "../sync/uhrbereich.h"

namespace dadaviru::posix {

namespace {

bool nur_ziffern(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

std::string Zeitpunkt_als_text(const timespec& zeitpunkt) {
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%09ld", static_cast<long long>(zeitpunkt.tv_sec), zeitpunkt.tv_nsec);
    return text;
}

std::optional<timespec> Zeitpunkt_aus_text(std::string_view text) {
    const auto punkt = text.find('.');
    if (punkt == std::string_view::npos) return std::nullopt;
    const std::string_view sekunden = text.substr(0, punkt), bruchteil = text.substr(punkt + 1);
    if (!nur_ziffern(sekunden) || sekunden.size() > 10 || !nur_ziffern(bruchteil) || bruchteil.size() != 9)
        return std::nullopt;
    std::int64_t s = 0;
    long ns = 0;
    std::from_chars(sekunden.data(), sekunden.data() + sekunden.size(), s);
    std::from_chars(bruchteil.data(), bruchteil.data() + bruchteil.size(), ns);
    if (!Uhr_nimmt(s)) return std::nullopt;
    timespec zeitpunkt{};
    zeitpunkt.tv_sec = static_cast<std::time_t>(s);
    zeitpunkt.tv_nsec = ns;
    return zeitpunkt;
}

}  // namespace dadaviru::posix
