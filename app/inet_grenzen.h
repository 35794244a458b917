// The limits of the window's HTTP client, the same on every platform.
#pragma once

#include <chrono>
#include <cstddef>

namespace dadaviru {

// One request, from connect to last byte, may take this long.
inline constexpr std::chrono::milliseconds Inet_Zeitlimit{60'000};
// A time answer is 19 characters; anything longer than this is no time answer.
inline constexpr std::size_t Inet_hoechste_Antwort = 64 * 1024;
inline constexpr long Inet_hoechste_Umleitungen = 5;
inline constexpr const char* Inet_Kennung = "Dadaviru/1.01";

}  // namespace dadaviru
