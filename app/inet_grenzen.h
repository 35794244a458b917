// The limits of the window's HTTP client, the same on every platform; its time-out and User-Agent
// come with the build (Inet_Zeitlimit, Inet_Kennung).
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>

#include "app/bauwerte.h"

namespace dadaviru {

// A time answer is 19 characters; anything longer than this is no time answer.
inline constexpr std::size_t Inet_hoechste_Antwort = 64 * 1024;
inline constexpr long Inet_hoechste_Umleitungen = 5;

}  // namespace dadaviru
