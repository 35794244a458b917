// The Linux clock: local wall-clock values turned into a step of CLOCK_REALTIME and written through
// systemd-timedated, or by the helper uhrsteller where there is no timedated to ask.
// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <ctime>
#include <memory>
#include <optional>

#include "../plattform.h"

namespace dadaviru::posix {

// From now on every conversion takes the machine's own zone (/etc/localtime): the texts are the
// computer's local time, and one user's TZ must not set everyone's clock hours off.
void Zone_der_Maschine();

// The instant that shows the wall-clock fields of `wand` (year to second) in the local time zone.
// A time that occurs twice (when summer time ends) is taken at the occurrence nearest to `naechst`,
// the clock's current instant, and at the first without one; a time that does not occur (when
// summer time begins) is read with the offset before the change, so it lands as far after the
// change as it lies after its start.
std::optional<std::time_t> Lokal_zu_utc(const std::tm& wand, std::optional<std::time_t> naechst = std::nullopt);

// The clock reading `jetzt` with its date replaced; time of day and fraction of a second are kept.
std::optional<timespec> Timespec_mit_Datum(const timespec& jetzt, const Datum& datum);

// The clock reading `jetzt` with its time of day replaced (and its date, when one is given), the
// fraction being the time since the answer arrived, `seit_ankunft` before the reading.
std::optional<timespec> Timespec_mit_Uhrzeit(const timespec& jetzt, const Uhrzeit& zeit,
                                             const std::optional<Datum>& datum, std::chrono::nanoseconds seit_ankunft);

enum class Schreibergebnis { geschrieben, abgelehnt, kein_dienst };

// One way of moving CLOCK_REALTIME.
class Uhrschreiber {
public:
    virtual ~Uhrschreiber() = default;
    // Moves the clock by `schritt`, counted from the moment the caller read it just before.
    virtual Schreibergebnis Schreiben(std::chrono::nanoseconds schritt) = 0;
    // The run is over: connections held for it are given up.
    virtual void Beenden() {}
};

// Asks timedated first; only when there is no bus or no timedated on it does the clock get
// written directly, and the run then stays with the direct write.
class Uhr_Posix final : public Uhr {
public:
    Uhr_Posix(std::unique_ptr<Uhrschreiber> timedated, std::unique_ptr<Uhrschreiber> direkt);
    bool Datum_setzen(const Datum& datum) override;
    bool Uhrzeit_setzen(const Uhrzeit& zeit, const std::optional<Datum>& datum, Ankunft angekommen) override;
    void Lauf_beenden() override;

private:
    bool schreiben(const std::optional<timespec>& neu, const timespec& jetzt);

    std::unique_ptr<Uhrschreiber> timedated_;
    std::unique_ptr<Uhrschreiber> direkt_;
    bool ohne_timedated_ = false;
};

}  // namespace dadaviru::posix
