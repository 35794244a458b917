// The Linux clock: local wall-clock values turned into an instant and written through
// systemd-timedated, or with clock_settime where there is no timedated to ask.
// SPDX-License-Identifier: MIT
#pragma once

#include <ctime>
#include <memory>
#include <optional>

#include "../plattform.h"

namespace dadaviru::posix {

// The instant that shows the wall-clock fields of `wand` (year to second) in the local time zone.
// A time that occurs twice (when summer time ends) is taken at the occurrence whose UTC offset is
// `versatz_jetzt`, the one the clock shows now, and at the first when the clock shows neither; a
// time that does not occur (when summer time begins) is read with the offset before the change,
// so it lands as far after the change as it lies after its start.
std::optional<std::time_t> Lokal_zu_utc(const std::tm& wand, std::optional<long> versatz_jetzt = std::nullopt);

// The clock reading `jetzt` with its date replaced; time of day and fraction of a second are kept.
std::optional<timespec> Datum_ersetzt(const timespec& jetzt, const Datum& datum);

// The clock reading `jetzt` with its time of day replaced (and its date, when one is given).
std::optional<timespec> Uhrzeit_ersetzt(const timespec& jetzt, const Uhrzeit& zeit, const std::optional<Datum>& datum);

enum class Schreibergebnis { geschrieben, abgelehnt, kein_dienst };

// One way of setting CLOCK_REALTIME to an instant.
class Uhrschreiber {
public:
    virtual ~Uhrschreiber() = default;
    virtual Schreibergebnis Schreiben(const timespec& neu) = 0;
    // The run is over: connections and rights held for it are given up.
    virtual void Beenden() {}
};

// Asks timedated first; only when there is no bus or no timedated on it does the clock get
// written directly, and the run then stays with the direct write.
class Uhr_Posix final : public Uhr {
public:
    Uhr_Posix(std::unique_ptr<Uhrschreiber> timedated, std::unique_ptr<Uhrschreiber> direkt);
    bool Datum_setzen(const Datum& datum) override;
    bool Uhrzeit_setzen(const Uhrzeit& zeit, const std::optional<Datum>& datum) override;
    void Lauf_beenden() override;

private:
    bool schreiben(const std::optional<timespec>& neu);

    std::unique_ptr<Uhrschreiber> timedated_;
    std::unique_ptr<Uhrschreiber> direkt_;
    bool ohne_timedated_ = false;
};

}  // namespace dadaviru::posix
