// The time service's clock arithmetic and time texts, apart from the network so tests can hand in the time.
// SPDX-License-Identifier: MIT
#include "zeittakt.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace zeitdienst {

Antwortzeit antwortzeit(Zeitpunkt jetzt, bool sofort) {
    using namespace std::chrono;
    if (sofort) return {round<seconds>(jetzt), jetzt};
    const Sekunde naechste = floor<seconds>(jetzt) + seconds(1);
    return {naechste, naechste};
}

Taktplan takt_planen(Zeitpunkt wand, Monoton mono) {
    const Sekunde s = antwortzeit(wand, false).sekunde;
    return {s, mono + (s - wand) - kFruehWecken, wand.time_since_epoch() - mono.time_since_epoch()};
}

Taktschritt takt_pruefen(const Taktplan& plan, Zeitpunkt wand, Monoton mono) {
    using namespace std::chrono;
    const nanoseconds gestellt = (wand.time_since_epoch() - mono.time_since_epoch()) - plan.abstand;
    // Set forward, the clock may already be past the planned second: answering now would send a
    // second that began long ago, and answering late is what the service exists to avoid.
    if (abs(gestellt) > kUhrGestellt) return {Taktschritt::warten, {}, takt_planen(wand, mono)};
    const nanoseconds bis = plan.sekunde - wand;
    if (bis > kFruehWecken) return {Taktschritt::warten, {}, takt_planen(wand, mono)};
    if (bis > 0ns) return {Taktschritt::gleich_wieder, {}, {}};
    // Woken late, the loop answers with the second that is running: late, but still true.
    return {Taktschritt::ticken, floor<seconds>(wand), {}};
}

bool zone_waehlen(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.find("..") != std::string_view::npos) return false;
    const char* verzeichnis = std::getenv("TZDIR");
    const std::string datei =
        std::string(verzeichnis != nullptr && *verzeichnis != '\0' ? verzeichnis : "/usr/share/zoneinfo") + '/' +
        std::string(name);
    struct stat st {};
    if (::stat(datei.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    ::setenv("TZ", std::string(name).c_str(), 1);
    ::tzset();
    return true;
}

namespace {

std::string ortszeit(Sekunde s, const char* format) {
    const std::time_t t = s.time_since_epoch().count();
    std::tm teile{};
    char puffer[64];
    if (::localtime_r(&t, &teile) == nullptr) return {};
    const std::size_t n = std::strftime(puffer, sizeof puffer, format, &teile);
    return std::string(puffer, n);
}

}  // namespace

std::string ortszeit_text(Sekunde s) { return ortszeit(s, "%Y-%m-%d %H:%M:%S"); }

// Day and month names in English whatever the locale, as HTTP and the log format want them.
std::string http_datum(Sekunde s) {
    static constexpr const char* tage[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* monate[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t t = s.time_since_epoch().count();
    std::tm teile{};
    if (::gmtime_r(&t, &teile) == nullptr) return {};
    char puffer[64];
    std::snprintf(puffer, sizeof puffer, "%s, %02d %s %04d %02d:%02d:%02d GMT", tage[teile.tm_wday], teile.tm_mday,
                  monate[teile.tm_mon], teile.tm_year + 1900, teile.tm_hour, teile.tm_min, teile.tm_sec);
    return puffer;
}

std::string clf_zeit(Sekunde s) {
    static constexpr const char* monate[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t t = s.time_since_epoch().count();
    std::tm teile{};
    if (::localtime_r(&t, &teile) == nullptr) return {};
    const long versatz = teile.tm_gmtoff / 60;
    char puffer[64];
    std::snprintf(puffer, sizeof puffer, "%02d/%s/%04d:%02d:%02d:%02d %c%02ld%02ld", teile.tm_mday,
                  monate[teile.tm_mon], teile.tm_year + 1900, teile.tm_hour, teile.tm_min, teile.tm_sec,
                  versatz < 0 ? '-' : '+', std::labs(versatz) / 60, std::labs(versatz) % 60);
    return puffer;
}

}  // namespace zeitdienst
