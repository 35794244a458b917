// The instants a clock write may name, the same for every way of writing the clock on every platform.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace dadaviru {

// Seconds since 1970-01-01 00:00:00 UTC. Linux takes no wall-clock time before that, nor one from
// its 64-bit nanosecond limit less 30 years of uptime on (2232-04-18 23:47:16 UTC). Windows would
// take 1601 to 30827; it keeps to the same range, so that one answer does the same on both.
// Between two instants in it lie less than 2^63 nanoseconds, so no step between them overflows.
inline constexpr std::int64_t Erste_Sekunde = 0;
inline constexpr std::int64_t Letzte_Sekunde = 8'277'292'035;

constexpr bool Uhr_nimmt(std::int64_t sekunde) { return sekunde >= Erste_Sekunde && sekunde <= Letzte_Sekunde; }

}  // namespace dadaviru
