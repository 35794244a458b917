// The Windows clock: the local date and time of day written with SetLocalTime.
// SPDX-License-Identifier: MIT
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "../plattform.h"

namespace dadaviru::win32 {

// The clock reading `jetzt` with its date replaced; time of day and milliseconds are kept.
// Nothing for a year no SYSTEMTIME holds.
std::optional<SYSTEMTIME> Systemzeit_mit_Datum(const SYSTEMTIME& jetzt, const Datum& datum);

// The clock reading `jetzt` with its time of day replaced (and its date, when one is given); the
// milliseconds are the time since the answer arrived, `seit_ankunft` before the reading.
std::optional<SYSTEMTIME> Systemzeit_mit_Uhrzeit(const SYSTEMTIME& jetzt, const Uhrzeit& zeit,
                                                 const std::optional<Datum>& datum,
                                                 std::chrono::nanoseconds seit_ankunft);

// The whole seconds since 1970-01-01 00:00:00 of a UTC SYSTEMTIME; nothing for one that is no time.
std::optional<std::int64_t> Sekunde_seit_1970(const SYSTEMTIME& utc);

// Reading and writing the local wall clock, kept apart so tests can stand in for the real one.
class Ortsuhr {
public:
    virtual ~Ortsuhr() = default;
    virtual SYSTEMTIME lesen() = 0;
    virtual bool schreiben(const SYSTEMTIME& zeit) = 0;
    // The instant that the local time `zeit` names, in seconds since 1970 UTC, by the rules of
    // the zone for that date; nothing when it names none.
    virtual std::optional<std::int64_t> sekunde_utc(const SYSTEMTIME& zeit) = 0;
};

// GetLocalTime and SetLocalTime. Before its first write it enables the right to change the
// clock in the process's token; the account must hold that right, or every write is refused.
class Systemuhr final : public Ortsuhr {
public:
    SYSTEMTIME lesen() override;
    bool schreiben(const SYSTEMTIME& zeit) override;
    std::optional<std::int64_t> sekunde_utc(const SYSTEMTIME& zeit) override;

private:
    bool recht_versucht_ = false;
};

// Enables SE_SYSTEMTIME_NAME in the process's token. False when the account does not hold it.
bool Uhrrecht_einschalten();

class Uhr_Win32 final : public Uhr {
public:
    explicit Uhr_Win32(Ortsuhr& ortsuhr) : ortsuhr_(ortsuhr) {}
    bool Datum_setzen(const Datum& datum) override;
    bool Uhrzeit_setzen(const Uhrzeit& zeit, const std::optional<Datum>& datum, Ankunft angekommen) override;

private:
    bool nimmt(const std::optional<SYSTEMTIME>& zeit);
    bool zweimal_schreiben(const std::function<SYSTEMTIME()>& neu);
    Ortsuhr& ortsuhr_;
};

}  // namespace dadaviru::win32
