// When the time service answers and what it writes: the second a request is answered with, the
// moment of that answer, and the texts of that second (body, Date header, access-log stamp).
// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace zeitdienst {

using Sekunde = std::chrono::sys_seconds;
using Zeitpunkt = std::chrono::sys_time<std::chrono::nanoseconds>;

struct Antwortzeit {
    Sekunde sekunde;    // the second the answer names
    Zeitpunkt faellig;  // when to send it
};

// Held: the next whole second, sent the moment it begins. At once: now, rounded to the nearest second,
// because the client takes the text as the time of arrival and truncation would leave it behind.
Antwortzeit antwortzeit(Zeitpunkt jetzt, bool sofort);

// Chooses the zone for all texts below by its IANA name (e.g. "Europe/Berlin"). False for a name
// that names no zone file, which the C library would otherwise take silently as UTC.
bool zone_waehlen(std::string_view name);

std::string ortszeit_text(Sekunde s);  // "YYYY-MM-DD HH:MM:SS" in the chosen zone
std::string http_datum(Sekunde s);     // "Mon, 07 Dec 2026 12:00:00 GMT"
std::string clf_zeit(Sekunde s);       // "07/Dec/2026:13:00:00 +0100" in the chosen zone

}  // namespace zeitdienst
