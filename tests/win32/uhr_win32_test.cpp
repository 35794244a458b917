// The Windows clock against a stand-in for GetLocalTime/SetLocalTime: what each write keeps, the
// date of the same pass, the second write, and the right in the process's token.
// SPDX-License-Identifier: MIT
#include "sync/win32/uhr_win32.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "attrappen.h"
#include "sync/win32/griff.h"
#include "sync/zeitantwort.h"

namespace dadaviru::test {
namespace {

using ::testing::ElementsAre;

SYSTEMTIME systemzeit(int j, int mo, int t, int h, int mi, int s, int ms) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(j);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(t);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(s);
    st.wMilliseconds = static_cast<WORD>(ms);
    return st;
}

std::string text(const SYSTEMTIME& st) {
    char s[40];
    std::snprintf(s, sizeof s, "%04u-%02u-%02u %02u:%02u:%02u.%03u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                  st.wSecond, st.wMilliseconds);
    return s;
}

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
};

class Windowsuhr : public ::testing::Test {
protected:
    Ortsuhr_Attrappe ortsuhr;
    win32::Uhr_Win32 uhr{ortsuhr};
};

// Each accepted write goes out twice, for a write across a change of daylight-saving offset.
TEST_F(Windowsuhr, JederSchreibvorgangBehaeltDenRest) {
    ortsuhr.jetzt = systemzeit(2026, 3, 28, 2, 30, 15, 750);
    EXPECT_TRUE(uhr.Datum_setzen(Datum{2026, 3, 29}));
    ortsuhr.jetzt = systemzeit(2026, 12, 7, 10, 11, 12, 345);
    EXPECT_TRUE(uhr.Uhrzeit_setzen(Uhrzeit{13, 45, 9}, std::nullopt));
    EXPECT_THAT(ortsuhr.geschrieben, ElementsAre("2026-03-29 02:30:15.750", "2026-03-29 02:30:15.750",
                                                 "2026-12-07 13:45:09.000", "2026-12-07 13:45:09.000"));
}

TEST_F(Windowsuhr, VerweigertWirdNichtWiederholt) {
    ortsuhr.jetzt = systemzeit(2026, 12, 7, 10, 11, 12, 345);
    ortsuhr.verweigert = true;
    EXPECT_FALSE(uhr.Datum_setzen(Datum{2027, 1, 1}));
    EXPECT_FALSE(uhr.Uhrzeit_setzen(Uhrzeit{1, 2, 3}, std::nullopt));
    EXPECT_THAT(ortsuhr.geschrieben, ElementsAre("2027-01-01 10:11:12.345", "2026-12-07 01:02:03.000"));
}

// A midnight between the two writes of one answer: the clock already reads the 8th when the
// time of the 7th is written, and the date of the same pass keeps it on the 7th.
TEST_F(Windowsuhr, MitternachtZwischenDenSchreibvorgaengen) {
    ortsuhr.jetzt = systemzeit(2026, 12, 8, 0, 0, 1, 0);
    EXPECT_TRUE(uhr.Uhrzeit_setzen(Uhrzeit{23, 59, 59}, Datum{2026, 12, 7}));
    EXPECT_THAT(ortsuhr.geschrieben, ElementsAre("2026-12-07 23:59:59.000", "2026-12-07 23:59:59.000"));

    // The whole answer: the date write, then the time with that date.
    ortsuhr.geschrieben.clear();
    ortsuhr.jetzt = systemzeit(2026, 12, 8, 0, 0, 1, 500);
    Umwandlung_Attrappe umwandlung;
    Antwort_anwenden("2026-12-07 23:59:59", umwandlung, uhr);
    EXPECT_THAT(ortsuhr.geschrieben, ElementsAre("2026-12-07 00:00:01.500", "2026-12-07 00:00:01.500",
                                                 "2026-12-07 23:59:59.000", "2026-12-07 23:59:59.000"));
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
