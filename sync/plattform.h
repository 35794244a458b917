// What a platform must provide to the synchronisation run: the clock writes, the date and time
// conversions and the override-file lookup. Each platform implements it in sync/posix or sync/win32.
// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace dadaviru {

struct Datum {
    int jahr = 0;
    int monat = 0;  // 1..12
    int tag = 0;    // 1..31
    friend bool operator==(const Datum&, const Datum&) = default;
};

struct Uhrzeit {
    int stunde = 0;
    int minute = 0;
    int sekunde = 0;
    friend bool operator==(const Uhrzeit&, const Uhrzeit&) = default;
};

// Turns the fields of a time answer into values, following the user's locale settings.
class Umwandlung {
public:
    virtual ~Umwandlung() = default;
    // A real calendar date, or nothing.
    virtual std::optional<Datum> Datum_lesen(std::string_view text) = 0;
    // A time of day; a text that carries only a date is no time.
    virtual std::optional<Uhrzeit> Uhrzeit_lesen(std::string_view text) = 0;
};

// When a pass's answer arrived, on a clock that no write to the wall clock moves: CLOCK_MONOTONIC
// on Linux, QueryPerformanceCounter on Windows (mingw-w64's posix thread model).
using Ankunft = std::chrono::steady_clock::time_point;

// The local wall clock. Each call is one write; false when the platform refuses it.
class Uhr {
public:
    virtual ~Uhr() = default;
    // Replaces the date and keeps the current time of day.
    virtual bool Datum_setzen(const Datum& datum) = 0;
    // Replaces the time of day, its fraction of a second being the time since the answer arrived.
    // With a date, that date is written together with it instead of the clock's current one, so a
    // midnight between two writes cannot shift the result by a day.
    virtual bool Uhrzeit_setzen(const Uhrzeit& zeit, const std::optional<Datum>& datum, Ankunft angekommen) = 0;
    // After the last write of a run: whatever the clock held open for it is given up.
    virtual void Lauf_beenden() {}
};

enum class Suchergebnis { gefunden, fehlt, fehlgeschlagen };

struct Dateifund {
    Suchergebnis ergebnis = Suchergebnis::fehlt;
    std::string name;  // the name as it stands in the directory, when found
};

// Plain files in the current directory.
class Dateien {
public:
    virtual ~Dateien() = default;
    // Looks a name up with letter case ignored. Only regular files count.
    virtual Dateifund Datei_suchen(std::string_view name) = 0;
    // Opens, reads at most `hoechstens` bytes from the start, and closes. Nothing if the open or the read fails.
    virtual std::optional<std::string> Datei_lesen(const std::string& name, std::size_t hoechstens) = 0;
};

// The clock, the conversions and the file lookup that one run uses.
struct Plattform {
    Umwandlung& umwandlung;
    Uhr& uhr;
    Dateien& dateien;
};

}  // namespace dadaviru
