// Turns local wall-clock values into instants and hands each write to timedated, or, where there
// is none, to clock_settime.
// SPDX-License-Identifier: MIT
#include "uhr_posix.h"

#include <algorithm>

#include "../wandzeit.h"

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

Wandzeit wandzeit(const std::tm& t, long nanosekunden) {
    return {{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday}, {t.tm_hour, t.tm_min, t.tm_sec}, nanosekunden};
}

std::tm felder(const Wandzeit& w) {
    std::tm t{};
    t.tm_year = w.datum.jahr - 1900;
    t.tm_mon = w.datum.monat - 1;
    t.tm_mday = w.datum.tag;
    t.tm_hour = w.zeit.stunde;
    t.tm_min = w.zeit.minute;
    t.tm_sec = w.zeit.sekunde;
    return t;
}

// `jetzt` read as a local wall-clock value, changed by `regel`, and turned back into an instant;
// a repeated hour keeps the offset that `jetzt` shows.
template <class Regel>
std::optional<timespec> geaendert(const timespec& jetzt, Regel&& regel) {
    const auto wand = lokal(jetzt.tv_sec);
    if (!wand) return std::nullopt;
    const Wandzeit neu = regel(wandzeit(*wand, jetzt.tv_nsec));
    return schreibbar(Lokal_zu_utc(felder(neu), wand->tm_gmtoff), neu.nanosekunden);
}

}  // namespace

std::optional<std::time_t> Lokal_zu_utc(const std::tm& wand, std::optional<long> versatz_jetzt) {
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
    if (frueh_passt && spaet_passt) {
        // A clock standing in the repeated hour keeps to the occurrence it is in, so a date or
        // a time of day written then does not move it by the length of the change.
        if (versatz_jetzt == nachher->tm_gmtoff) return spaet;
        if (versatz_jetzt == vorher->tm_gmtoff) return frueh;
        return std::min(frueh, spaet);
    }
    if (frueh_passt) return frueh;
    if (spaet_passt) return spaet;
    return frueh;  // inside a gap
}

std::optional<timespec> Datum_ersetzt(const timespec& jetzt, const Datum& datum) {
    return geaendert(jetzt, [&](const Wandzeit& w) { return dadaviru::Datum_ersetzt(w, datum); });
}

std::optional<timespec> Uhrzeit_ersetzt(const timespec& jetzt, const Uhrzeit& zeit, const std::optional<Datum>& datum) {
    return geaendert(jetzt, [&](const Wandzeit& w) { return dadaviru::Uhrzeit_ersetzt(w, zeit, datum); });
}

Uhr_Posix::Uhr_Posix(std::unique_ptr<Uhrschreiber> timedated, std::unique_ptr<Uhrschreiber> direkt)
    : timedated_(std::move(timedated)), direkt_(std::move(direkt)) {}

bool Uhr_Posix::schreiben(const std::optional<timespec>& neu) {
    if (!neu) return false;
    if (!ohne_timedated_) {
        // Whatever timedated answers stands: a refusal is not a reason to go round it.
        const auto ergebnis = timedated_->Schreiben(*neu);
        if (ergebnis != Schreibergebnis::kein_dienst) return ergebnis == Schreibergebnis::geschrieben;
        ohne_timedated_ = true;
    }
    return direkt_->Schreiben(*neu) == Schreibergebnis::geschrieben;
}

bool Uhr_Posix::Datum_setzen(const Datum& datum) {
    const auto jetzt = jetzt_lesen();
    return schreiben(jetzt ? Datum_ersetzt(*jetzt, datum) : std::nullopt);
}

bool Uhr_Posix::Uhrzeit_setzen(const Uhrzeit& zeit, const std::optional<Datum>& datum) {
    const auto jetzt = jetzt_lesen();
    return schreiben(jetzt ? Uhrzeit_ersetzt(*jetzt, zeit, datum) : std::nullopt);
}

void Uhr_Posix::Lauf_beenden() {
    timedated_->Beenden();
    direkt_->Beenden();
}

}  // namespace dadaviru::posix
