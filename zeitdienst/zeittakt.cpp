// The time service's clock arithmetic and time texts, apart from the network so tests can hand in the time.
// SPDX-License-Identifier: MIT
#include "zeittakt.h"

#include <sys/stat.h>

#include <algorithm>
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

std::chrono::nanoseconds vorlauf(std::chrono::microseconds kleinster_rundlauf) {
    if (kleinster_rundlauf <= 0us) return 0ns;
    return std::min<std::chrono::nanoseconds>(kleinster_rundlauf / 2, kVorlaufHoechstens);
}

Sekunde zielsekunde(Zeitpunkt jetzt, std::chrono::nanoseconds vorlauf) {
    return std::chrono::floor<std::chrono::seconds>(jetzt + vorlauf + kBuendeln) + 1s;
}

Sekunde genannte_sekunde(Sekunde ziel, Zeitpunkt wand, std::chrono::nanoseconds vorlauf) {
    return std::max(ziel, std::chrono::floor<std::chrono::seconds>(wand + vorlauf));
}

Zeitpunkt takt_fuer(Zeitpunkt erster, Zeitpunkt zweiter) {
    return zweiter - erster <= kBuendeln ? erster + (zweiter - erster) / 2 : erster;
}

Taktplan takt_planen(Zeitpunkt ziel, Zeitpunkt wand, Monoton mono, std::chrono::nanoseconds vorhalt) {
    return {ziel, mono + (ziel - wand) - vorhalt, wand.time_since_epoch() - mono.time_since_epoch(), vorhalt};
}

Taktschritt takt_pruefen(const Taktplan& plan, Zeitpunkt wand, Monoton mono) {
    using namespace std::chrono;
    const nanoseconds gestellt = (wand.time_since_epoch() - mono.time_since_epoch()) - plan.abstand;
    // Set forward, the clock may already be past the planned instant: sending now would name a second
    // that began long ago, and answering late is what the service exists to avoid.
    if (abs(gestellt) > kUhrGestellt) return {Taktschritt::gestellt, {}};
    const nanoseconds bis = plan.ziel - wand;
    if (bis > plan.vorhalt + kBuendeln / 2)
        return {Taktschritt::warten, takt_planen(plan.ziel, wand, mono, plan.vorhalt)};
    return {Taktschritt::ticken, {}};
}

void Weckverzug::lernen(std::chrono::nanoseconds spaet) {
    const auto schritt =
        ++gelernt_ > kAnlernen
            ? std::chrono::nanoseconds(kVorhaltSchritt)
            : std::clamp<std::chrono::nanoseconds>(abs(spaet - vorhalt_) / 4, kVorhaltSchritt, kVorhaltSchrittAnfangs);
    vorhalt_ = std::clamp<std::chrono::nanoseconds>(vorhalt_ + (spaet > vorhalt_ ? schritt : -schritt), 0ns,
                                                    kVorhaltHoechstens);
}

bool Wartezeit::frei(Monoton jetzt) {
    if (jetzt - seit_ >= 1s) {
        seit_ = jetzt;
        verbraucht_ = 0ns;
    }
    return verbraucht_ < kWartenJeSekunde;
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
