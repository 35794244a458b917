// The limits of the window's HTTP client, the same on every platform.
// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstddef>

namespace dadaviru {

// One request, from connect to last byte, may take this long. Only benchmark builds shorten it,
// to measure the worst case in seconds rather than minutes.
#ifndef DADAVIRU_INET_ZEITLIMIT_MS
#define DADAVIRU_INET_ZEITLIMIT_MS 60000
#endif
inline constexpr std::chrono::milliseconds Inet_Zeitlimit{DADAVIRU_INET_ZEITLIMIT_MS};
// A time answer is 19 characters; anything longer than this is no time answer.
inline constexpr std::size_t Inet_hoechste_Antwort = 64 * 1024;
inline constexpr long Inet_hoechste_Umleitungen = 5;
inline constexpr const char* Inet_Kennung = "Dadaviru/" DADAVIRU_VERSION;

}  // namespace dadaviru
