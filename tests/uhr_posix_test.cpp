// Local wall-clock values to CLOCK_REALTIME in Europe/Berlin, summer time changes included.
// Only the arithmetic is tested here; the real writes are checked under the clock interposer.
#include "sync/posix/uhr_posix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace dadaviru::test {
namespace {

std::time_t utc(int j, int mo, int t, int h, int mi, int s) {
    std::tm f{};
    f.tm_year = j - 1900;
    f.tm_mon = mo - 1;
    f.tm_mday = t;
    f.tm_hour = h;
    f.tm_min = mi;
    f.tm_sec = s;
    return timegm(&f);
}

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

}  // namespace
}  // namespace dadaviru::test
