// Turns local wall-clock values into a step of the clock and hands each write to timedated, or,
// where there is none, to the direct write.
// SPDX-License-Identifier: MIT
#include "uhr_posix.h"

#include <cstdlib>

#include "../uhrbereich.h"
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
// a repeated hour is taken at the occurrence nearest to `jetzt`.
template <class Regel>
std::optional<timespec> geaendert(const timespec& jetzt, Regel&& regel) {
    const auto wand = lokal(jetzt.tv_sec);
    if (!wand) return std::nullopt;
    const Wandzeit neu = regel(wandzeit(*wand, jetzt.tv_nsec));
    return schreibbar(Lokal_zu_utc(felder(neu), jetzt.tv_sec), neu.nanosekunden);
}

std::chrono::nanoseconds abstand(const timespec& von, const timespec& bis) {
    return std::chrono::seconds(bis.tv_sec - von.tv_sec) + std::chrono::nanoseconds(bis.tv_nsec - von.tv_nsec);
}

}  // namespace

void Zone_der_Maschine() {
    // Without TZ the C library reads /etc/localtime. Called at start-up, before any other thread.
    unsetenv("TZ");
    tzset();
}

std::optional<std::time_t> Lokal_zu_utc(const std::tm& wand, std::optional<std::time_t> naechst) {
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
        // The occurrence nearest to the clock: a clock a second slow at the end of the first
        // occurrence, given the start of the second, must not be sent back an hour; nor one a
        // second fast, given the end of the first, an hour ahead. The offset the clock shows
        // would choose wrong at both boundaries.
        if (naechst && std::llabs(spaet - *naechst) < std::llabs(frueh - *naechst)) return spaet;
        return frueh;
    }
    if (frueh_passt) return frueh;
    if (spaet_passt) return spaet;
    return frueh;  // inside a gap
}

std::optional<timespec> Timespec_mit_Datum(const timespec& jetzt, const Datum& datum) {
    return geaendert(jetzt, [&](const Wandzeit& w) { return Datum_ersetzt(w, datum); });
}

std::optional<timespec> Timespec_mit_Uhrzeit(const timespec& jetzt, const Uhrzeit& zeit,
                                             const std::optional<Datum>& datum, std::chrono::nanoseconds seit_ankunft) {
    return geaendert(jetzt, [&](const Wandzeit& w) { return Uhrzeit_ersetzt(w, zeit, datum, seit_ankunft); });
}

Uhr_Posix::Uhr_Posix(std::unique_ptr<Uhrschreiber> timedated, std::unique_ptr<Uhrschreiber> direkt)
    : timedated_(std::move(timedated)), direkt_(std::move(direkt)) {}

// Each write is a step from the clock reading `jetzt`: however long the way to the clock takes,
// the step stays right, where an instant would arrive late by that time. An instant the clock
// cannot take fails here, before the step is counted: in nanoseconds, one centuries away would
// overflow and move the clock somewhere else entirely.
bool Uhr_Posix::schreiben(const std::optional<timespec>& neu, const timespec& jetzt) {
    if (!neu || !Uhr_nimmt(neu->tv_sec) || !Uhr_nimmt(jetzt.tv_sec)) return false;
    const auto schritt = abstand(jetzt, *neu);
    // Nothing to move: timedated counts in microseconds and would answer a step of 0 itself, as
    // written, without a write. A date the clock already shows is the common case.
    if (std::chrono::abs(schritt) < std::chrono::microseconds(1)) return true;
    if (!ohne_timedated_) {
        // Whatever timedated answers stands: a refusal is not a reason to go round it.
        const auto ergebnis = timedated_->Schreiben(schritt);
        if (ergebnis != Schreibergebnis::kein_dienst) return ergebnis == Schreibergebnis::geschrieben;
        ohne_timedated_ = true;
    }
    return direkt_->Schreiben(schritt) == Schreibergebnis::geschrieben;
}

bool Uhr_Posix::Datum_setzen(const Datum& datum) {
    const auto jetzt = jetzt_lesen();
    return jetzt && schreiben(Timespec_mit_Datum(*jetzt, datum), *jetzt);
}

bool Uhr_Posix::Uhrzeit_setzen(const Uhrzeit& zeit, const std::optional<Datum>& datum, Ankunft angekommen) {
    const auto jetzt = jetzt_lesen();
    const auto seit = Seit(angekommen);
    return jetzt && schreiben(Timespec_mit_Uhrzeit(*jetzt, zeit, datum, seit), *jetzt);
}

void Uhr_Posix::Lauf_beenden() {
    timedated_->Beenden();
    direkt_->Beenden();
}

}  // namespace dadaviru::posix
