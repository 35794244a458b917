// Local wall-clock values to CLOCK_REALTIME in Europe/Berlin, summer time changes included, the
// steps handed to the writers, the choice between timedated and the direct write, and what counts
// as "no timedated", and the instants no clock takes. The real writes are checked end to end, against
// the real timedated.
// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "attrappen.h"
#include "sync/posix/schreiber.h"
#include "sync/posix/uhr_posix.h"
#include "sync/zeitantwort.h"

namespace dadaviru::test {
namespace {

std::tm wand(int j, int mo, int t, int h, int mi, int s) {
    std::tm f{};
    f.tm_year = j - 1900;
    f.tm_mon = mo - 1;
    f.tm_mday = t;
    f.tm_hour = h;
    f.tm_min = mi;
    f.tm_sec = s;
    f.tm_isdst = -1;
    return f;
}

std::time_t utc(int j, int mo, int t, int h, int mi, int s) {
    std::tm f = wand(j, mo, t, h, mi, s);
    return timegm(&f);
}

// An environment variable set for one scope, and as it was again after it; a zone set so takes
// effect at once.
class Umgebungswert {
public:
    Umgebungswert(const char* name, const std::string& wert) : name_(name) {
        if (const char* w = std::getenv(name)) vorher_ = w;
        setenv(name, wert.c_str(), 1);
        tzset();
    }
    ~Umgebungswert() {
        if (vorher_)
            setenv(name_, vorher_->c_str(), 1);
        else
            unsetenv(name_);
        tzset();
    }

private:
    const char* name_;
    std::optional<std::string> vorher_;
};

class Berlin : public ::testing::Test {
    const Umgebungswert zone_{"TZ", "Europe/Berlin"};
};

TEST_F(Berlin, WinterUndSommer) {
    EXPECT_EQ(posix::Lokal_zu_utc(wand(2026, 12, 7, 13, 0, 0)), utc(2026, 12, 7, 12, 0, 0));
    EXPECT_EQ(posix::Lokal_zu_utc(wand(2026, 7, 1, 12, 0, 0)), utc(2026, 7, 1, 10, 0, 0));
}

TEST_F(Berlin, SommerzeitBeginnt) {
    // 2026-03-29: 02:00 CET jumps to 03:00 CEST; 02:30 does not exist and lands at 03:30 CEST.
    EXPECT_EQ(posix::Lokal_zu_utc(wand(2026, 3, 29, 2, 30, 0)), utc(2026, 3, 29, 1, 30, 0));
    EXPECT_EQ(posix::Lokal_zu_utc(wand(2026, 3, 29, 2, 0, 0)), utc(2026, 3, 29, 1, 0, 0));
    EXPECT_EQ(posix::Lokal_zu_utc(wand(2026, 3, 29, 1, 59, 59)), utc(2026, 3, 29, 0, 59, 59));
    EXPECT_EQ(posix::Lokal_zu_utc(wand(2026, 3, 29, 3, 0, 0)), utc(2026, 3, 29, 1, 0, 0));
}

TEST_F(Berlin, SommerzeitEndet) {
    // 2026-10-25: 03:00 CEST goes back to 02:00 CET; 02:30 comes twice and is taken the first time.
    EXPECT_EQ(posix::Lokal_zu_utc(wand(2026, 10, 25, 2, 30, 0)), utc(2026, 10, 25, 0, 30, 0));
    EXPECT_EQ(posix::Lokal_zu_utc(wand(2026, 10, 25, 1, 59, 59)), utc(2026, 10, 24, 23, 59, 59));
    EXPECT_EQ(posix::Lokal_zu_utc(wand(2026, 10, 25, 3, 0, 0)), utc(2026, 10, 25, 2, 0, 0));
}

TEST_F(Berlin, SommerzeitEndetUndDieUhrStehtInDerDoppeltenStunde) {
    // 2026-10-25: the clock shows 02:30:30 in the first (CEST) or second (CET) occurrence. A
    // date-only answer for the same day, or the time of day it already shows, keeps it where it is.
    for (const std::time_t jetzt : {utc(2026, 10, 25, 0, 30, 30), utc(2026, 10, 25, 1, 30, 30)}) {
        const timespec uhr{jetzt, 0};
        EXPECT_EQ(posix::Timespec_mit_Datum(uhr, Datum{2026, 10, 25})->tv_sec, jetzt);
        EXPECT_EQ(posix::Timespec_mit_Uhrzeit(uhr, Uhrzeit{2, 30, 30}, Datum{2026, 10, 25}, {})->tv_sec, jetzt);
    }
}

TEST_F(Berlin, DoppelteStundeAnIhrenGrenzenUmEineSekundeFalsch) {
    // A clock a second slow at 02:59:59 CEST, given 02:00:00 (the truth: CET, a second later),
    // and a clock a second fast at 02:00:00 CET, given 02:59:59 (the truth: CEST, a second
    // earlier). Either way the occurrence a second away is meant, not the one an hour away.
    const timespec langsam{utc(2026, 10, 25, 0, 59, 59), 0};
    EXPECT_EQ(posix::Timespec_mit_Uhrzeit(langsam, Uhrzeit{2, 0, 0}, Datum{2026, 10, 25}, {})->tv_sec,
              utc(2026, 10, 25, 1, 0, 0));
    const timespec schnell{utc(2026, 10, 25, 1, 0, 0), 0};
    EXPECT_EQ(posix::Timespec_mit_Uhrzeit(schnell, Uhrzeit{2, 59, 59}, Datum{2026, 10, 25}, {})->tv_sec,
              utc(2026, 10, 25, 0, 59, 59));
}

TEST_F(Berlin, DatumErsetzenBehaeltUhrzeitUndBruchteil) {
    const timespec jetzt{utc(2026, 12, 7, 12, 45, 9), 123'000'000};  // 13:45:09.123 CET
    const auto neu = posix::Timespec_mit_Datum(jetzt, Datum{2026, 7, 1});
    ASSERT_TRUE(neu);
    EXPECT_EQ(neu->tv_sec, utc(2026, 7, 1, 11, 45, 9));  // 13:45:09 CEST
    EXPECT_EQ(neu->tv_nsec, 123'000'000);
}

TEST_F(Berlin, UhrzeitErsetzenBehaeltDasDatumUndDerBruchteilIstDieZeitSeitDerAnkunft) {
    using namespace std::chrono_literals;
    const timespec jetzt{utc(2026, 12, 7, 12, 45, 9), 500'000'000};
    const auto neu = posix::Timespec_mit_Uhrzeit(jetzt, Uhrzeit{8, 0, 30}, std::nullopt, 250ms);
    ASSERT_TRUE(neu);
    EXPECT_EQ(neu->tv_sec, utc(2026, 12, 7, 7, 0, 30));
    EXPECT_EQ(neu->tv_nsec, 250'000'000);
    // The second stays the text's own, however long ago the answer came.
    EXPECT_EQ(posix::Timespec_mit_Uhrzeit(jetzt, Uhrzeit{8, 0, 30}, std::nullopt, 1700ms)->tv_sec,
              utc(2026, 12, 7, 7, 0, 30));
    EXPECT_EQ(posix::Timespec_mit_Uhrzeit(jetzt, Uhrzeit{8, 0, 30}, std::nullopt, 1700ms)->tv_nsec, 999'999'999);
    EXPECT_EQ(posix::Timespec_mit_Uhrzeit(jetzt, Uhrzeit{8, 0, 30}, std::nullopt, -5ms)->tv_nsec, 0);
}

TEST_F(Berlin, MitternachtZwischenDenBeidenSchreibvorgaengen) {
    // The date 2026-12-07 was written at 23:59:59.9; when the time is written the clock reads
    // 00:00:00.1 on the 8th. The time of the same answer belongs to the 7th.
    const timespec nach_mitternacht{utc(2026, 12, 7, 23, 0, 0), 100'000'000};
    const auto mit_datum = posix::Timespec_mit_Uhrzeit(nach_mitternacht, Uhrzeit{23, 59, 59}, Datum{2026, 12, 7}, {});
    ASSERT_TRUE(mit_datum);
    EXPECT_EQ(mit_datum->tv_sec, utc(2026, 12, 7, 22, 59, 59));
    const auto ohne_datum = posix::Timespec_mit_Uhrzeit(nach_mitternacht, Uhrzeit{23, 59, 59}, std::nullopt, {});
    EXPECT_EQ(ohne_datum->tv_sec, utc(2026, 12, 8, 22, 59, 59));
}

TEST_F(Berlin, DatumAufDenTagDerUmstellung) {
    // The kept time of day 02:30 does not exist on the new date: the gap rule applies.
    const timespec jetzt{utc(2026, 12, 7, 1, 30, 0), 0};  // 02:30 CET
    const auto neu = posix::Timespec_mit_Datum(jetzt, Datum{2026, 3, 29});
    ASSERT_TRUE(neu);
    EXPECT_EQ(neu->tv_sec, utc(2026, 3, 29, 1, 30, 0));
}

class Schreiber_Attrappe final : public posix::Uhrschreiber {
public:
    Schreiber_Attrappe(std::vector<std::string>& journal, std::string name, posix::Schreibergebnis ergebnis,
                       std::vector<std::chrono::nanoseconds>& schritte)
        : journal_(journal), name_(std::move(name)), ergebnis_(ergebnis), schritte_(schritte) {}
    posix::Schreibergebnis Schreiben(std::chrono::nanoseconds schritt) override {
        journal_.push_back(name_);
        schritte_.push_back(schritt);
        return ergebnis_;
    }
    void Beenden() override { journal_.push_back(name_ + " beendet"); }

private:
    std::vector<std::string>& journal_;
    std::string name_;
    posix::Schreibergebnis ergebnis_;
    std::vector<std::chrono::nanoseconds>& schritte_;
};

// A run on the two writers; the direct one always succeeds. Only timedated's steps are kept.
struct Zwei_Schreiber {
    std::vector<std::string> journal;
    std::vector<std::chrono::nanoseconds> schritte, direkte_schritte;
    posix::Uhr_Posix uhr;
    explicit Zwei_Schreiber(posix::Schreibergebnis timedated = posix::Schreibergebnis::geschrieben)
        : uhr(std::make_unique<Schreiber_Attrappe>(journal, "timedated", timedated, schritte),
              std::make_unique<Schreiber_Attrappe>(journal, "direkt", posix::Schreibergebnis::geschrieben,
                                                   direkte_schritte)) {}
};

TEST(UhrPosix, TimedatedEntscheidetUndNurOhneIhnWirdDirektGeschrieben) {
    using enum posix::Schreibergebnis;
    struct Fall {
        posix::Schreibergebnis timedated;
        bool gesetzt;
        std::vector<std::string> journal;
    };
    for (const auto& [timedated, gesetzt, erwartet] : std::vector<Fall>{
             {geschrieben, true, {"timedated", "timedated", "timedated beendet", "direkt beendet"}},
             {abgelehnt, false, {"timedated", "timedated", "timedated beendet", "direkt beendet"}},
             // Once timedated is known to be missing, the run stays with the direct write.
             {kein_dienst, true, {"timedated", "direkt", "direkt", "timedated beendet", "direkt beendet"}},
         }) {
        Zwei_Schreiber lauf(timedated);
        EXPECT_EQ(lauf.uhr.Datum_setzen(Datum{2001, 1, 1}), gesetzt);
        EXPECT_EQ(lauf.uhr.Uhrzeit_setzen(Uhrzeit{12, 0, 0}, Datum{2001, 1, 1}, {}), gesetzt);
        lauf.uhr.Lauf_beenden();
        EXPECT_EQ(lauf.journal, erwartet);
    }
}

TEST_F(Berlin, JederSchreibvorgangIstEinSchrittVonDerUhrAusUndTraegtDieZeitSeitDerAnkunft) {
    using namespace std::chrono_literals;
    Zwei_Schreiber lauf;

    // 2026-12-07 13:45:09 in Berlin, from an answer that arrived 300 ms ago: the clock is to show
    // 13:45:09.300 and a little more, and the step is that less the clock as it read then.
    const auto ziel = std::chrono::seconds(utc(2026, 12, 7, 12, 45, 9)) + 300ms;
    const auto monoton_vorher = std::chrono::steady_clock::now();
    const auto vorher = std::chrono::system_clock::now().time_since_epoch();
    ASSERT_TRUE(lauf.uhr.Uhrzeit_setzen(Uhrzeit{13, 45, 9}, Datum{2026, 12, 7}, monoton_vorher - 300ms));
    const auto nachher = std::chrono::system_clock::now().time_since_epoch();
    const auto gedauert = std::chrono::steady_clock::now() - monoton_vorher;
    ASSERT_EQ(lauf.schritte.size(), 1u);
    EXPECT_GE(lauf.schritte[0], ziel - nachher);
    EXPECT_LE(lauf.schritte[0], ziel + gedauert - vorher);

    // A date the clock already shows moves nothing, and nothing is sent.
    const std::time_t heute = std::time(nullptr);
    std::tm wand{};
    localtime_r(&heute, &wand);
    EXPECT_TRUE(lauf.uhr.Datum_setzen(Datum{wand.tm_year + 1900, wand.tm_mon + 1, wand.tm_mday}));
    EXPECT_EQ(lauf.schritte.size(), 1u);
}

// Dates centuries away, and the first and last second the clock takes (2232-04-18 23:47:15 UTC is
// 01:47:15 summer time in Berlin). Outside them nothing is sent; inside, the step is the one to
// that second, for a step in nanoseconds overflows past 292 years and lands anywhere.
TEST_F(Berlin, NurWasDieUhrNimmtWirdGeschrieben) {
    using namespace std::chrono;
    struct Fall {
        Datum datum;
        std::optional<Uhrzeit> zeit;  // with a time, the time write; else the date write
        std::optional<std::time_t> sekunde;
    };
    for (const auto& [datum, zeit, sekunde] : std::vector<Fall>{
             {{2611, 6, 29}, std::nullopt, std::nullopt},
             {{2611, 6, 29}, Uhrzeit{9, 33, 50}, std::nullopt},
             {{9999, 12, 31}, std::nullopt, std::nullopt},
             {{1601, 1, 1}, std::nullopt, std::nullopt},
             {{1601, 1, 1}, Uhrzeit{0, 0, 0}, std::nullopt},
             {{1969, 12, 31}, std::nullopt, std::nullopt},
             {{1970, 1, 1}, Uhrzeit{0, 59, 59}, std::nullopt},
             {{1970, 1, 1}, Uhrzeit{1, 0, 0}, 0},
             {{2232, 4, 19}, Uhrzeit{1, 47, 15}, utc(2232, 4, 18, 23, 47, 15)},
             {{2232, 4, 19}, Uhrzeit{1, 47, 16}, std::nullopt},
             {{2233, 1, 1}, std::nullopt, std::nullopt},
         }) {
        const std::string fall = text(datum) + (zeit ? " " + text(*zeit) : "");
        Zwei_Schreiber lauf;
        const auto angekommen = steady_clock::now();
        const auto vorher = system_clock::now().time_since_epoch();
        const bool gesetzt = zeit ? lauf.uhr.Uhrzeit_setzen(*zeit, datum, angekommen) : lauf.uhr.Datum_setzen(datum);
        const auto nachher = system_clock::now().time_since_epoch();
        const auto gedauert = steady_clock::now() - angekommen;
        EXPECT_EQ(gesetzt, sekunde.has_value()) << fall;
        EXPECT_EQ(lauf.schritte.size(), sekunde ? 1u : 0u) << fall;
        if (!sekunde || lauf.schritte.size() != 1) continue;
        const nanoseconds ziel = seconds(*sekunde);
        EXPECT_GE(lauf.schritte[0], ziel - nachher) << fall;
        EXPECT_LE(lauf.schritte[0], ziel + gedauert - vorher) << fall;
    }
}

// A whole answer centuries away: no date write, and its time of day written on today's date.
TEST_F(Berlin, EinFernesDatumIstEinFehlgeschlagenerDatumsschritt) {
    using namespace std::chrono;
    Zwei_Schreiber lauf;
    Umwandlung_Attrappe umwandlung;
    const auto vorher = system_clock::now();
    Antwort_anwenden("2611-06-29 09:33:50", umwandlung, lauf.uhr, steady_clock::now());
    const auto nachher = system_clock::now();
    ASSERT_EQ(lauf.schritte.size(), 1u);

    const auto wandfelder = [](system_clock::time_point t) {
        const std::time_t s = system_clock::to_time_t(floor<seconds>(t));
        std::tm f{};
        localtime_r(&s, &f);
        return f;
    };
    // The step was taken from a clock reading between the two here, so the time it writes lies between
    // the step from each; 09:33:50 and its fraction since the answer must be in between.
    const std::tm frueh = wandfelder(vorher + lauf.schritte[0]), spaet = wandfelder(nachher + lauf.schritte[0]);
    const auto sekunde_des_tages = [](const std::tm& f) { return f.tm_hour * 3600 + f.tm_min * 60 + f.tm_sec; };
    EXPECT_LE(sekunde_des_tages(frueh), 9 * 3600 + 33 * 60 + 50)
        << text(Uhrzeit{frueh.tm_hour, frueh.tm_min, frueh.tm_sec});
    EXPECT_GE(sekunde_des_tages(spaet), 9 * 3600 + 33 * 60 + 50)
        << text(Uhrzeit{spaet.tm_hour, spaet.tm_min, spaet.tm_sec});
    const auto tag = [](const std::tm& f) { return text(Datum{f.tm_year + 1900, f.tm_mon + 1, f.tm_mday}); };
    // Today is the day the clock read at the write, somewhere between the two readings here.
    EXPECT_THAT(tag(frueh), ::testing::AnyOf(tag(wandfelder(vorher)), tag(wandfelder(nachher))));
}

// No descriptor left for the process while it lives: the next one it opens fails with EMFILE.
class Keine_Deskriptoren {
public:
    Keine_Deskriptoren() {
        getrlimit(RLIMIT_NOFILE, &vorher_);
        const int frei = open("/dev/null", O_RDONLY | O_CLOEXEC);  // the lowest free number
        close(frei);
        rlimit knapp = vorher_;
        knapp.rlim_cur = static_cast<rlim_t>(frei);
        setrlimit(RLIMIT_NOFILE, &knapp);
    }
    ~Keine_Deskriptoren() { setrlimit(RLIMIT_NOFILE, &vorher_); }

private:
    rlimit vorher_{};
};

TEST(SchreiberTimedated, NurOhneBusOderOhneTimedatedFehltDerDienst) {
    using namespace std::chrono_literals;
    // The tests as a whole run with a dead bus address; these name their own.
    const Umgebungswert adresse("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/kein-bus");
    {
        posix::Schreiber_Timedated schreiber;
        EXPECT_EQ(schreiber.Schreiben(1s), posix::Schreibergebnis::kein_dienst);
    }
    // Out of descriptors, the bus cannot even be tried: that is a failure, not a missing
    // timedated, and the write must not go round it, neither now nor at the next write.
    posix::Schreiber_Timedated schreiber;
    {
        const Keine_Deskriptoren knapp;
        EXPECT_EQ(schreiber.Schreiben(1s), posix::Schreibergebnis::abgelehnt);
    }
    EXPECT_EQ(schreiber.Schreiben(1s), posix::Schreibergebnis::abgelehnt);
}

TEST(SchreiberTimedated, EinStummerBusHaeltDenLaufNicht) {
    using namespace std::chrono_literals;
    // A socket that takes connections and never says a word: the call runs out of time, which is
    // a failed write and not a missing service, and the writer does not wait on it again.
    const std::string pfad = "/tmp/dadaviru-stummer-bus-" + std::to_string(getpid());
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un ort{};
    ort.sun_family = AF_UNIX;
    pfad.copy(ort.sun_path, sizeof ort.sun_path - 1);
    unlink(pfad.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&ort), sizeof ort), 0);
    ASSERT_EQ(listen(fd, 4), 0);
    {
        const Umgebungswert adresse("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + pfad);
        posix::Schreiber_Timedated schreiber(200'000);
        EXPECT_EQ(schreiber.Schreiben(1s), posix::Schreibergebnis::abgelehnt);
        EXPECT_EQ(schreiber.Schreiben(1s), posix::Schreibergebnis::abgelehnt);
    }
    close(fd);
    unlink(pfad.c_str());
}

}  // namespace
}  // namespace dadaviru::test
