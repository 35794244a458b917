// When the time service answers and what it writes: the second a request is answered with, the
// tick that held requests wait for, and the texts of a second (body, Date header, access-log stamp).
// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace zeitdienst {

using namespace std::chrono_literals;

using Sekunde = std::chrono::sys_seconds;
using Zeitpunkt = std::chrono::sys_time<std::chrono::nanoseconds>;
using Monoton = std::chrono::steady_clock::time_point;

struct Antwortzeit {
    Sekunde sekunde;    // the second the answer names
    Zeitpunkt faellig;  // when to send it
};

// Held: the next whole second, sent the moment it begins. At once: now, rounded to the nearest second,
// because the client takes the text as the time of arrival and truncation would leave it behind.
Antwortzeit antwortzeit(Zeitpunkt jetzt, bool sofort);

// A timer wakes this machine up to a few milliseconds late; the tick wakes this much early and
// watches the wall clock for the rest.
inline constexpr auto kFruehWecken = 3ms;
// More than this between the two clocks since the plan was made, and the wall clock was set: NTP's
// slewing alone moves it half a millisecond a second at most. (Both clocks must be read together for
// this; a thread put aside between the two readings would look like a step.)
inline constexpr auto kUhrGestellt = 1ms;

// The next tick of held requests. It is waited for on the monotonic clock, which no one sets, and
// never for more than the rest of one second, so a wall clock set either way costs one second at most.
struct Taktplan {
    Sekunde sekunde{};                   // the wall-clock second the tick answers with
    Monoton wecken{};                    // when to look again
    std::chrono::nanoseconds abstand{};  // wall clock minus monotonic clock when planned
};

Taktplan takt_planen(Zeitpunkt wand, Monoton mono);

// What a loop with held requests does on waking, from a fresh reading of both clocks: answer now
// with `sekunde`; look again at once (the second begins within kFruehWecken); or wait for a new plan,
// when the wake came early or the wall clock was set since the plan was made.
struct Taktschritt {
    enum Art { ticken, gleich_wieder, warten } art;
    Sekunde sekunde{};  // ticken: the second to answer with
    Taktplan plan{};    // warten: the plan to wait for
};

Taktschritt takt_pruefen(const Taktplan& plan, Zeitpunkt wand, Monoton mono);

// Chooses the zone for all texts below by its IANA name (e.g. "Europe/Berlin"). False for a name
// that names no zone file, which the C library would otherwise take silently as UTC.
bool zone_waehlen(std::string_view name);

std::string ortszeit_text(Sekunde s);  // "YYYY-MM-DD HH:MM:SS" in the chosen zone
inline constexpr std::size_t kTextLaenge = sizeof "YYYY-MM-DD HH:MM:SS" - 1;
std::string http_datum(Sekunde s);  // "Mon, 07 Dec 2026 12:00:00 GMT"
std::string clf_zeit(Sekunde s);    // "07/Dec/2026:13:00:00 +0100" in the chosen zone

}  // namespace zeitdienst
