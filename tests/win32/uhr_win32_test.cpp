// The Windows clock against a stand-in for GetLocalTime/SetLocalTime: what each write keeps, the
// date of the same pass, the second write, the instants no clock takes, and the right in the
// process's token.
// SPDX-License-Identifier: MIT
#include "sync/win32/uhr_win32.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "attrappen.h"
#include "sync/uhrbereich.h"
#include "sync/win32/griff.h"
#include "sync/zeitantwort.h"

namespace dadaviru::test {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

SYSTEMTIME systemzeit(int j, int mo, int t, int h, int mi, int s, int ms) {
    const auto w = [](int wert) { return static_cast<WORD>(wert); };
    return {w(j), w(mo), 0, w(t), w(h), w(mi), w(s), w(ms)};  // the day of the week is not read
}

std::string text(const SYSTEMTIME& st) {
    char s[40];
    std::snprintf(s, sizeof s, "%04u-%02u-%02u %02u:%02u:%02u.%03u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                  st.wSecond, st.wMilliseconds);
    return s;
}

// In a zone of UTC+1 all year.
class Ortsuhr_Attrappe final : public win32::Ortsuhr {
public:
    SYSTEMTIME jetzt{};
    bool verweigert = false;
    std::vector<std::string> geschrieben;
    SYSTEMTIME lesen() override { return jetzt; }
    bool schreiben(const SYSTEMTIME& zeit) override {
        geschrieben.push_back(text(zeit));
        return !verweigert;
    }
    std::optional<std::int64_t> sekunde_utc(const SYSTEMTIME& zeit) override {
        const auto sekunde = win32::Sekunde_seit_1970(zeit);
        if (!sekunde) return std::nullopt;
        return *sekunde - 3600;
    }
};

class Windowsuhr : public ::testing::Test {
protected:
    Ortsuhr_Attrappe ortsuhr;
    win32::Uhr_Win32 uhr{ortsuhr};
};

// Each accepted write goes out twice, for a write across a change of daylight-saving offset. The
// milliseconds of a time write are the time since its answer arrived, and have tests of their own.
TEST_F(Windowsuhr, JederSchreibvorgangBehaeltDenRest) {
    ortsuhr.jetzt = systemzeit(2026, 3, 28, 2, 30, 15, 750);
    EXPECT_TRUE(uhr.Datum_setzen(Datum{2026, 3, 29}));
    ortsuhr.jetzt = systemzeit(2026, 12, 7, 10, 11, 12, 345);
    EXPECT_TRUE(uhr.Uhrzeit_setzen(Uhrzeit{13, 45, 9}, std::nullopt, std::chrono::steady_clock::now()));
    EXPECT_THAT(ortsuhr.geschrieben,
                ElementsAre("2026-03-29 02:30:15.750", "2026-03-29 02:30:15.750", StartsWith("2026-12-07 13:45:09."),
                            StartsWith("2026-12-07 13:45:09.")));
}

TEST_F(Windowsuhr, VerweigertWirdNichtWiederholt) {
    ortsuhr.jetzt = systemzeit(2026, 12, 7, 10, 11, 12, 345);
    ortsuhr.verweigert = true;
    EXPECT_FALSE(uhr.Datum_setzen(Datum{2027, 1, 1}));
    EXPECT_FALSE(uhr.Uhrzeit_setzen(Uhrzeit{1, 2, 3}, std::nullopt, std::chrono::steady_clock::now()));
    EXPECT_THAT(ortsuhr.geschrieben, ElementsAre("2027-01-01 10:11:12.345", StartsWith("2026-12-07 01:02:03.")));
}

int millisekunden(const std::string& geschrieben) { return std::stoi(geschrieben.substr(geschrieben.size() - 3)); }

TEST_F(Windowsuhr, DieMillisekundenSindDieZeitSeitDerAnkunftIhrerAntwort) {
    using namespace std::chrono_literals;
    ortsuhr.jetzt = systemzeit(2026, 12, 7, 10, 11, 12, 345);
    const auto vorher = std::chrono::steady_clock::now();
    // 250.6 ms and more since the answer came: rounded, never cut off to 250.
    EXPECT_TRUE(uhr.Uhrzeit_setzen(Uhrzeit{13, 45, 9}, std::nullopt, vorher - 250ms - 600us));
    const auto gedauert =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - vorher);
    ASSERT_EQ(ortsuhr.geschrieben.size(), 2u);
    EXPECT_THAT(ortsuhr.geschrieben[0], StartsWith("2026-12-07 13:45:09."));
    EXPECT_GE(millisekunden(ortsuhr.geschrieben[0]), 251);
    EXPECT_LE(millisekunden(ortsuhr.geschrieben[0]), 251 + gedauert.count() + 1);
    // The second stays the text's own, however long ago the answer came.
    EXPECT_EQ(text(*win32::Systemzeit_mit_Uhrzeit(ortsuhr.jetzt, Uhrzeit{13, 45, 9}, std::nullopt, 1700ms)),
              "2026-12-07 13:45:09.999");
    EXPECT_EQ(text(*win32::Systemzeit_mit_Uhrzeit(ortsuhr.jetzt, Uhrzeit{13, 45, 9}, std::nullopt, 250ms)),
              "2026-12-07 13:45:09.250");
}

// A midnight between the two writes of one answer: the clock already reads the 8th when the
// time of the 7th is written, and the date of the same pass keeps it on the 7th.
TEST_F(Windowsuhr, MitternachtZwischenDenSchreibvorgaengen) {
    ortsuhr.jetzt = systemzeit(2026, 12, 8, 0, 0, 1, 0);
    EXPECT_TRUE(uhr.Uhrzeit_setzen(Uhrzeit{23, 59, 59}, Datum{2026, 12, 7}, std::chrono::steady_clock::now()));
    EXPECT_THAT(ortsuhr.geschrieben,
                ElementsAre(StartsWith("2026-12-07 23:59:59."), StartsWith("2026-12-07 23:59:59.")));

    // The whole answer: the date write, then the time with that date.
    ortsuhr.geschrieben.clear();
    ortsuhr.jetzt = systemzeit(2026, 12, 8, 0, 0, 1, 500);
    Umwandlung_Attrappe umwandlung;
    Antwort_anwenden("2026-12-07 23:59:59", umwandlung, uhr, std::chrono::steady_clock::now());
    EXPECT_THAT(ortsuhr.geschrieben,
                ElementsAre("2026-12-07 00:00:01.500", "2026-12-07 00:00:01.500", StartsWith("2026-12-07 23:59:59."),
                            StartsWith("2026-12-07 23:59:59.")));
}

// Dates centuries away, a year past what a WORD holds, and the first and last second the clock
// takes in the stand-in's zone: the same instants as on Linux, though Windows would take 1601 to
// 30827. Outside them nothing is written.
TEST_F(Windowsuhr, NurWasDieUhrNimmtWirdGeschrieben) {
    struct Fall {
        Datum datum;
        std::optional<Uhrzeit> zeit;  // with a time, the time write; else the date write
        const char* geschrieben;      // nothing when refused
    };
    for (const auto& [datum, zeit, geschrieben] : std::vector<Fall>{
             {{2611, 6, 29}, std::nullopt, nullptr},
             {{2611, 6, 29}, Uhrzeit{9, 33, 50}, nullptr},
             {{9999, 12, 31}, std::nullopt, nullptr},
             {{30827, 12, 31}, std::nullopt, nullptr},
             {{1601, 1, 1}, std::nullopt, nullptr},
             {{65536 + 2026, 12, 7}, std::nullopt, nullptr},
             {{1970, 1, 1}, Uhrzeit{0, 59, 59}, nullptr},
             {{1970, 1, 1}, Uhrzeit{1, 0, 0}, "1970-01-01 01:00:00."},
             {{2232, 4, 19}, Uhrzeit{0, 47, 15}, "2232-04-19 00:47:15."},
             {{2232, 4, 19}, Uhrzeit{0, 47, 16}, nullptr},
         }) {
        const std::string fall = test::text(datum) + (zeit ? " " + test::text(*zeit) : "");
        ortsuhr.geschrieben.clear();
        ortsuhr.jetzt = systemzeit(2026, 12, 7, 10, 11, 12, 345);
        const bool gesetzt =
            zeit ? uhr.Uhrzeit_setzen(*zeit, datum, std::chrono::steady_clock::now()) : uhr.Datum_setzen(datum);
        EXPECT_EQ(gesetzt, geschrieben != nullptr) << fall;
        if (geschrieben)
            EXPECT_THAT(ortsuhr.geschrieben, ElementsAre(StartsWith(geschrieben), StartsWith(geschrieben))) << fall;
        else
            EXPECT_THAT(ortsuhr.geschrieben, ::testing::IsEmpty()) << fall;
    }

    // The whole answer: no date write, and its time of day on the date the clock shows.
    ortsuhr.geschrieben.clear();
    Umwandlung_Attrappe umwandlung;
    Antwort_anwenden("2611-06-29 09:33:50", umwandlung, uhr, std::chrono::steady_clock::now());
    EXPECT_THAT(ortsuhr.geschrieben,
                ElementsAre(StartsWith("2026-12-07 09:33:50."), StartsWith("2026-12-07 09:33:50.")));
}

// The real zone's conversion at the first and last second the clock takes, there and back, and
// the arithmetic over every year a SYSTEMTIME holds.
TEST(Systemuhr, GrenzenInUtcUndZurueck) {
    win32::Systemuhr systemuhr;
    for (const std::int64_t sekunde : {Erste_Sekunde, Letzte_Sekunde}) {
        const auto schritte = static_cast<std::uint64_t>(sekunde + 11'644'473'600) * 10'000'000;
        const FILETIME ft{static_cast<DWORD>(schritte), static_cast<DWORD>(schritte >> 32)};
        SYSTEMTIME utc{}, lokal{};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &utc));
        ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &lokal));
        EXPECT_EQ(win32::Sekunde_seit_1970(utc), sekunde);
        EXPECT_EQ(systemuhr.sekunde_utc(lokal), sekunde) << text(lokal);
    }
    EXPECT_EQ(win32::Sekunde_seit_1970(systemzeit(1601, 1, 1, 0, 0, 0, 0)), -11'644'473'600);
    EXPECT_EQ(win32::Sekunde_seit_1970(systemzeit(30827, 12, 31, 23, 59, 59, 999)), 910'670'515'199);
    EXPECT_EQ(win32::Sekunde_seit_1970(systemzeit(2026, 2, 30, 0, 0, 0, 0)), std::nullopt);
}

// Only the token is looked at here; the clock itself is never written by a test. The tests run
// under Wine, whose user holds the right as an administrator does.
TEST(Uhrrecht, WirdImTokenEingeschaltet) {
    ASSERT_TRUE(win32::Uhrrecht_einschalten());

    HANDLE roh = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &roh));
    const win32::Kerngriff token(roh);
    DWORD groesse = 0;
    GetTokenInformation(token.get(), TokenPrivileges, nullptr, 0, &groesse);
    ASSERT_GT(groesse, 0u);
    std::vector<unsigned char> puffer(groesse);
    ASSERT_TRUE(GetTokenInformation(token.get(), TokenPrivileges, puffer.data(), groesse, &groesse));
    LUID uhrrecht{};
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, SE_SYSTEMTIME_NAME, &uhrrecht));

    const auto* rechte = reinterpret_cast<const TOKEN_PRIVILEGES*>(puffer.data());
    std::optional<bool> an;
    for (DWORD i = 0; i < rechte->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& r = rechte->Privileges[i];
        if (r.Luid.LowPart == uhrrecht.LowPart && r.Luid.HighPart == uhrrecht.HighPart)
            an = (r.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
    EXPECT_EQ(an, true);
}

}  // namespace
}  // namespace dadaviru::test
