// Local wall-clock values to CLOCK_REALTIME in Europe/Berlin, summer time changes included, the
// choice between timedated and the direct write, and the raising and dropping of CAP_SYS_TIME.
// The real writes are checked under the clock interposer and against a timedated stand-in.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "sync/posix/schreiber.h"
#include "sync/posix/uhr_posix.h"
#include "sync/posix/zeitrecht.h"

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

class Berlin : public ::testing::Test {
protected:
    std::string vorher = std::getenv("TZ") ? std::getenv("TZ") : "";
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override {
        if (vorher.empty())
            unsetenv("TZ");
        else
            setenv("TZ", vorher.c_str(), 1);
        tzset();
    }
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
        EXPECT_EQ(posix::Datum_ersetzt(uhr, Datum{2026, 10, 25})->tv_sec, jetzt);
        EXPECT_EQ(posix::Uhrzeit_ersetzt(uhr, Uhrzeit{2, 30, 30}, Datum{2026, 10, 25})->tv_sec, jetzt);
    }
    // A clock that shows neither offset (none in this zone) takes the first occurrence.
    EXPECT_EQ(posix::Lokal_zu_utc(wand(2026, 10, 25, 2, 30, 0), 0), utc(2026, 10, 25, 0, 30, 0));
}

TEST_F(Berlin, DatumErsetzenBehaeltUhrzeitUndBruchteil) {
    const timespec jetzt{utc(2026, 12, 7, 12, 45, 9), 123'000'000};  // 13:45:09.123 CET
    const auto neu = posix::Datum_ersetzt(jetzt, Datum{2026, 7, 1});
    ASSERT_TRUE(neu);
    EXPECT_EQ(neu->tv_sec, utc(2026, 7, 1, 11, 45, 9));  // 13:45:09 CEST
    EXPECT_EQ(neu->tv_nsec, 123'000'000);
}

TEST_F(Berlin, UhrzeitErsetzenBehaeltDasDatum) {
    const timespec jetzt{utc(2026, 12, 7, 12, 45, 9), 500'000'000};
    const auto neu = posix::Uhrzeit_ersetzt(jetzt, Uhrzeit{8, 0, 30}, std::nullopt);
    ASSERT_TRUE(neu);
    EXPECT_EQ(neu->tv_sec, utc(2026, 12, 7, 7, 0, 30));
    EXPECT_EQ(neu->tv_nsec, 0);
}

TEST_F(Berlin, MitternachtZwischenDenBeidenSchreibvorgaengen) {
    // The date 2026-12-07 was written at 23:59:59.9; when the time is written the clock reads
    // 00:00:00.1 on the 8th. The time of the same answer belongs to the 7th.
    const timespec nach_mitternacht{utc(2026, 12, 7, 23, 0, 0), 100'000'000};
    const auto mit_datum = posix::Uhrzeit_ersetzt(nach_mitternacht, Uhrzeit{23, 59, 59}, Datum{2026, 12, 7});
    ASSERT_TRUE(mit_datum);
    EXPECT_EQ(mit_datum->tv_sec, utc(2026, 12, 7, 22, 59, 59));
    const auto ohne_datum = posix::Uhrzeit_ersetzt(nach_mitternacht, Uhrzeit{23, 59, 59}, std::nullopt);
    EXPECT_EQ(ohne_datum->tv_sec, utc(2026, 12, 8, 22, 59, 59));
}

TEST_F(Berlin, DatumAufDenTagDerUmstellung) {
    // The kept time of day 02:30 does not exist on the new date: the gap rule applies.
    const timespec jetzt{utc(2026, 12, 7, 1, 30, 0), 0};  // 02:30 CET
    const auto neu = posix::Datum_ersetzt(jetzt, Datum{2026, 3, 29});
    ASSERT_TRUE(neu);
    EXPECT_EQ(neu->tv_sec, utc(2026, 3, 29, 1, 30, 0));
}

class Schreiber_Attrappe final : public posix::Uhrschreiber {
public:
    Schreiber_Attrappe(std::vector<std::string>& journal, std::string name, posix::Schreibergebnis ergebnis)
        : journal_(journal), name_(std::move(name)), ergebnis_(ergebnis) {}
    posix::Schreibergebnis Schreiben(const timespec&) override {
        journal_.push_back(name_);
        return ergebnis_;
    }
    void Beenden() override { journal_.push_back(name_ + " beendet"); }

private:
    std::vector<std::string>& journal_;
    std::string name_;
    posix::Schreibergebnis ergebnis_;
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
        std::vector<std::string> journal;
        posix::Uhr_Posix uhr(std::make_unique<Schreiber_Attrappe>(journal, "timedated", timedated),
                             std::make_unique<Schreiber_Attrappe>(journal, "direkt", geschrieben));
        EXPECT_EQ(uhr.Datum_setzen(Datum{2026, 12, 7}), gesetzt);
        EXPECT_EQ(uhr.Uhrzeit_setzen(Uhrzeit{12, 0, 0}, Datum{2026, 12, 7}), gesetzt);
        uhr.Lauf_beenden();
        EXPECT_EQ(journal, erwartet);
    }
}

// The bus address the writer reads, for one test; the tests as a whole run with a dead one.
class Busadresse {
public:
    explicit Busadresse(const std::string& adresse) {
        if (const char* a = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) vorher_ = a;
        setenv("DBUS_SYSTEM_BUS_ADDRESS", adresse.c_str(), 1);
    }
    ~Busadresse() {
        if (vorher_)
            setenv("DBUS_SYSTEM_BUS_ADDRESS", vorher_->c_str(), 1);
        else
            unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }

private:
    std::optional<std::string> vorher_;
};

TEST(SchreiberTimedated, OhneBusKeinDienstUndEinStummerBusHaeltDenLaufNicht) {
    const timespec neu{1'800'000'000, 0};
    {
        const Busadresse adresse("unix:path=/nonexistent/kein-bus");
        posix::Schreiber_Timedated schreiber;
        EXPECT_EQ(schreiber.Schreiben(neu), posix::Schreibergebnis::kein_dienst);
    }
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
        const Busadresse adresse("unix:path=" + pfad);
        posix::Schreiber_Timedated schreiber(200'000);
        EXPECT_EQ(schreiber.Schreiben(neu), posix::Schreibergebnis::abgelehnt);
        EXPECT_EQ(schreiber.Schreiben(neu), posix::Schreibergebnis::abgelehnt);
    }
    close(fd);
    unlink(pfad.c_str());
}

// Holds capability sets as libcap's text form and records each set the helper asks for.
class Prozessrechte_Attrappe final : public posix::Prozessrechte {
public:
    explicit Prozessrechte_Attrappe(std::string jetzt) : jetzt_(std::move(jetzt)) {}
    std::vector<std::string> gesetzt;
    posix::Cap Lesen() override { return posix::Cap(cap_from_text(jetzt_.c_str())); }
    bool Setzen(const posix::Cap& rechte) override {
        char* text = cap_to_text(rechte.get(), nullptr);
        jetzt_ = text;
        cap_free(text);
        gesetzt.push_back(jetzt_);
        return true;
    }

private:
    std::string jetzt_;
};

TEST(Zeitrecht, NurUmDenSchreibvorgangWirksamUndAmEndeAusAllenMengen) {
    Prozessrechte_Attrappe rechte("cap_sys_time=p");
    posix::Zeitrecht recht(rechte);
    { const posix::Zeitrecht_erhoben erhoben(recht); }
    recht.Ablegen();
    EXPECT_EQ(rechte.gesetzt, (std::vector<std::string>{"cap_sys_time=ep", "cap_sys_time=p", "="}));
    EXPECT_FALSE(recht.Heben());  // dropped for good

    // Other capabilities stay as they are; without CAP_SYS_TIME nothing is asked of the kernel.
    Prozessrechte_Attrappe andere("cap_net_bind_service=ep cap_sys_time=p");
    posix::Zeitrecht recht2(andere);
    recht2.Ablegen();
    EXPECT_EQ(andere.gesetzt, (std::vector<std::string>{"cap_net_bind_service=ep"}));
    Prozessrechte_Attrappe ohne("cap_net_bind_service=ep");
    posix::Zeitrecht recht3(ohne);
    { const posix::Zeitrecht_erhoben erhoben(recht3); }
    recht3.Ablegen();
    EXPECT_TRUE(ohne.gesetzt.empty());
}

}  // namespace
}  // namespace dadaviru::test
