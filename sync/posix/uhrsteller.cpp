// The helper uhrsteller's run: the instant checked, every capability but CAP_SYS_TIME dropped and
// that one raised, then the one clock write, carried forward by the time since its reading.
// SPDX-License-Identifier: MIT
#include "uhrsteller.h"

#include <charconv>
#include <cstdint>
#include <cstdio>

#include "../uhrbereich.h"

namespace dadaviru::posix {

namespace {

std::int64_t ns(const timespec& t) { return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; }

bool nur_ziffern(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

bool hat(const Cap& rechte, cap_flag_t menge) {
    cap_flag_value_t wert = CAP_CLEAR;
    return cap_get_flag(rechte.get(), CAP_SYS_TIME, menge, &wert) == 0 && wert == CAP_SET;
}

// CAP_SYS_TIME permitted and effective, and nothing else in any set; the ambient set empties with
// the inheritable one.
Cap nur_das_zeitrecht() {
    Cap rechte(cap_init());
    const cap_value_t zeit[] = {CAP_SYS_TIME};
    if (!rechte || cap_set_flag(rechte.get(), CAP_PERMITTED, 1, zeit, CAP_SET) != 0 ||
        cap_set_flag(rechte.get(), CAP_EFFECTIVE, 1, zeit, CAP_SET) != 0)
        return nullptr;
    return rechte;
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

Cap Prozessrechte_Libcap::Lesen() { return Cap(cap_get_proc()); }

bool Prozessrechte_Libcap::Setzen(const Cap& rechte) { return cap_set_proc(rechte.get()) == 0; }

int Uhrsteller(int argc, const char* const* argv, Prozessrechte& rechte, const Uhrzugriff& uhr) {
    if (argc != 3) return ungueltig;
    const auto zeitpunkt = Zeitpunkt_aus_text(argv[1]);
    const auto bezug = Zeitpunkt_aus_text(argv[2]);
    if (!zeitpunkt || !bezug || ns(uhr.monoton()) < ns(*bezug)) return ungueltig;

    const Cap vorher = rechte.Lesen();
    if (!vorher) return rechte_fehler;
    if (!hat(vorher, CAP_PERMITTED)) return ohne_recht;
    // Run by root, the helper would hold every capability: all but the one it needs go first.
    // It writes only when the sets read back are exactly what was asked for.
    const Cap soll = nur_das_zeitrecht();
    if (!soll || !rechte.Setzen(soll)) return rechte_fehler;
    const Cap nachher = rechte.Lesen();
    if (!nachher || cap_compare(nachher.get(), soll.get()) != 0) return rechte_fehler;

    const std::int64_t neu = ns(*zeitpunkt) + (ns(uhr.monoton()) - ns(*bezug));
    if (!Uhr_nimmt(neu / 1'000'000'000)) return ungueltig;
    timespec jetzt{};
    jetzt.tv_sec = static_cast<std::time_t>(neu / 1'000'000'000);
    jetzt.tv_nsec = static_cast<long>(neu % 1'000'000'000);
    return uhr.stellen(jetzt) ? gesetzt : verweigert;
}

}  // namespace dadaviru::posix
