// The POSIX clock: local wall-clock values turned into CLOCK_REALTIME and written with clock_settime.
#pragma once

#include <ctime>
#include <optional>

#include "../plattform.h"

namespace dadaviru::posix {

// The instant that shows the wall-clock fields of `wand` (year to second) in the local time zone.
// A time that occurs twice (when summer time ends) is taken at its first occurrence; a time that
// does not occur (when it begins) is read with the offset before the change, so it lands as far
// after the change as it lies after its start.
std::optional<std::time_t> Lokal_zu_utc(const std::tm& wand);

// The clock reading `jetzt` with its date replaced; time of day and fraction of a second are kept.
std::optional<timespec> Datum_ersetzt(const timespec& jetzt, const Datum& datum);

// The clock reading `jetzt` with its time of day replaced (and its date, when one is given).
std::optional<timespec> Uhrzeit_ersetzt(const timespec& jetzt, const Uhrzeit& zeit, const std::optional<Datum>& datum);

class Uhr_Posix final : public Uhr {
public:
    bool Datum_setzen(const Datum& datum) override;
    bool Uhrzeit_setzen(const Uhrzeit& zeit, const std::optional<Datum>& datum) override;
};

}  // namespace dadaviru::posix
