// Writes the local date and time of day to CLOCK_REALTIME. Needs CAP_SYS_TIME; without it
// clock_settime fails and the write is skipped like any other failure.
#include "uhr_posix.h"

#include <algorithm>

namespace dadaviru::posix {

namespace {

std::optional<std::tm> lokal(std::time_t t) {
    std::tm wand{};
    if (!localtime_r(&t, &wand)) return std::nullopt;
    return wand;
}

// The wall-clock fields read as if they were UTC: a number to compare local times by.
std::time_t wandsekunden(std::tm wand) { return timegm(&wand); }

bool zeigt(std::time_t t, std::time_t wand) {
    const auto l = lokal(t);
    return l && wandsekunden(*l) == wand;
}

std::optional<timespec> schreibbar(const std::optional<std::time_t>& t, long nanosekunden) {
    if (!t) return std::nullopt;
    timespec ts{};
    ts.tv_sec = *t;
    ts.tv_nsec = nanosekunden;
    return ts;
}

std::optional<timespec> jetzt_lesen() {
    timespec ts{};
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0) return std::nullopt;
    return ts;
}

}  // namespace

std::optional<std::time_t> Lokal_zu_utc(const std::tm& wand) {
    std::tm felder = wand;
    felder.tm_isdst = 0;
    const std::time_t w = wandsekunden(felder);

    // The offsets a day before and a day after cover any one change of the zone's offset.
    const auto vorher = lokal(w - 86400);
    const auto nachher = lokal(w + 86400);
    if (!vorher || !nachher) return std::nullopt;
    const std::time_t frueh = w - vorher->tm_gmtoff;
    const std::time_t spaet = w - nachher->tm_gmtoff;
    const bool frueh_passt = zeigt(frueh, w);
    const bool spaet_passt = zeigt(spaet, w);
    if (frueh_passt && spaet_passt) return std::min(frueh, spaet);
    if (frueh_passt) return frueh;
    if (spaet_passt) return spaet;
    return frueh;  // inside a gap
}

std::optional<timespec> Datum_ersetzt(const timespec& jetzt, const Datum& datum) {
    auto wand = lokal(jetzt.tv_sec);
    if (!wand) return std::nullopt;
    wand->tm_year = datum.jahr - 1900;
    wand->tm_mon = datum.monat - 1;
    wand->tm_mday = datum.tag;
    return schreibbar(Lokal_zu_utc(*wand), jetzt.tv_nsec);
}

std::optional<timespec> Uhrzeit_ersetzt(const timespec& jetzt, const Uhrzeit& zeit, const std::optional<Datum>& datum) {
    auto wand = lokal(jetzt.tv_sec);
    if (!wand) return std::nullopt;
    if (datum) {
        wand->tm_year = datum->jahr - 1900;
        wand->tm_mon = datum->monat - 1;
        wand->tm_mday = datum->tag;
    }
    wand->tm_hour = zeit.stunde;
    wand->tm_min = zeit.minute;
    wand->tm_sec = zeit.sekunde;
    return schreibbar(Lokal_zu_utc(*wand), 0);
}

bool Uhr_Posix::Datum_setzen(const Datum& datum) {
    const auto jetzt = jetzt_lesen();
    const auto neu = jetzt ? Datum_ersetzt(*jetzt, datum) : std::nullopt;
    return neu && clock_settime(CLOCK_REALTIME, &*neu) == 0;
}

bool Uhr_Posix::Uhrzeit_setzen(const Uhrzeit& zeit, const std::optional<Datum>& datum) {
    const auto jetzt = jetzt_lesen();
    const auto neu = jetzt ? Uhrzeit_ersetzt(*jetzt, zeit, datum) : std::nullopt;
    return neu && clock_settime(CLOCK_REALTIME, &*neu) == 0;
}

}  // namespace dadaviru::posix
