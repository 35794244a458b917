// Dates and times through VarDateFromStr: what each field must carry, and the user's locale order
// (the locale a run expects is named in DADAVIRU_ORT, since Wine takes it from LANG at start).
// SPDX-License-Identifier: MIT
#include "sync/win32/umwandlung_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "sync/win32/utf16.h"

namespace dadaviru::test {
namespace {

using win32::Datum_aus_variant;
using win32::Uhrzeit_aus_variant;

constexpr double tageszeit(int h, int m, int s) { return (h * 3600 + m * 60 + s) / 86400.0; }

TEST(Variant, DatumBrauchtEinenTagImBereichDerUhr) {
    EXPECT_EQ(Datum_aus_variant(46363.0), (Datum{2026, 12, 7}));
    EXPECT_EQ(Datum_aus_variant(46363.0 + tageszeit(13, 45, 9)), (Datum{2026, 12, 7}));
    EXPECT_EQ(Datum_aus_variant(tageszeit(13, 45, 9)), std::nullopt);  // a time alone is day 0
    EXPECT_EQ(Datum_aus_variant(0.0), std::nullopt);
    // Before 1899 the day counts backwards and the time forwards: -109205.25 is 1601-01-01 06:00.
    EXPECT_EQ(Datum_aus_variant(-109205.25), (Datum{1601, 1, 1}));
    EXPECT_EQ(Datum_aus_variant(-109206.0), std::nullopt);  // 1600-12-31
    EXPECT_EQ(Datum_aus_variant(2958465.0), (Datum{9999, 12, 31}));
    EXPECT_EQ(Datum_aus_variant(2958466.0), std::nullopt);
    EXPECT_EQ(Datum_aus_variant(std::nan("")), std::nullopt);
}

TEST(Variant, UhrzeitBrauchtEineTageszeit) {
    EXPECT_EQ(Uhrzeit_aus_variant(tageszeit(13, 45, 9)), (Uhrzeit{13, 45, 9}));
    EXPECT_EQ(Uhrzeit_aus_variant(0.0), (Uhrzeit{0, 0, 0}));  // midnight, written as 00:00:00
    EXPECT_EQ(Uhrzeit_aus_variant(tageszeit(23, 59, 59)), (Uhrzeit{23, 59, 59}));
    EXPECT_EQ(Uhrzeit_aus_variant(46363.0), std::nullopt);  // a date alone
    EXPECT_EQ(Uhrzeit_aus_variant(46363.5), (Uhrzeit{12, 0, 0}));
    EXPECT_EQ(Uhrzeit_aus_variant(-109205.25), (Uhrzeit{6, 0, 0}));
}

// Holds in every locale.
TEST(Umwandlung_Win32, JedesFeldTraegtSeinesOderNichts) {
    win32::Umwandlung_Win32 u;
    EXPECT_EQ(u.Datum_lesen("2026-12-07"), (Datum{2026, 12, 7}));
    EXPECT_EQ(u.Datum_lesen(" 2026-12-07\t"), (Datum{2026, 12, 7}));
    EXPECT_EQ(u.Uhrzeit_lesen("13:45:09"), (Uhrzeit{13, 45, 9}));
    EXPECT_EQ(u.Uhrzeit_lesen(" 13:45 "), (Uhrzeit{13, 45, 0}));
    EXPECT_EQ(u.Uhrzeit_lesen("00:00:00"), (Uhrzeit{0, 0, 0}));

    EXPECT_EQ(u.Datum_lesen("13:45:09"), std::nullopt);      // a time is no date
    EXPECT_EQ(u.Uhrzeit_lesen("2026-12-07"), std::nullopt);  // a date is no time
    for (const char* text : {
             "", "   ", "2026-02-30", "1600-12-31", "<html><bo", "2026-12-", "12:00:00x",
             "\xC3\x28"  // broken UTF-8
         }) {
        EXPECT_EQ(u.Datum_lesen(text), std::nullopt) << text;
        EXPECT_EQ(u.Uhrzeit_lesen(text), std::nullopt) << text;
    }
    // Windows would read up to the NUL and see a shorter, valid text.
    EXPECT_EQ(u.Datum_lesen(std::string("2026-12-07\0x", 12)), std::nullopt);
    EXPECT_EQ(u.Uhrzeit_lesen(std::string("13:45\0:09", 9)), std::nullopt);
    for (const char* text : {"24:00:00", "12:60:00"})
        EXPECT_EQ(u.Uhrzeit_lesen(text), std::nullopt) << text;
}

class Ortsuebliche : public ::testing::Test {
protected:
    void SetUp() override {
        const char* erwartet = std::getenv("DADAVIRU_ORT");
        if (!erwartet) GTEST_SKIP() << "DADAVIRU_ORT names no locale to expect";
        wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
        ASSERT_GT(GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH), 0);
        ort = win32::Utf8(name).value_or("?");
        ASSERT_EQ(ort, erwartet) << "the process did not start in the locale of LANG";
    }
    std::string ort;
    win32::Umwandlung_Win32 u;
};

TEST_F(Ortsuebliche, DatumInDerReihenfolgeDesOrts) {
    EXPECT_EQ(u.Datum_lesen("2026-12-07"), (Datum{2026, 12, 7}));
    EXPECT_EQ(u.Uhrzeit_lesen("13:45:09"), (Uhrzeit{13, 45, 9}));
    if (ort == "de-DE") {
        EXPECT_EQ(u.Datum_lesen("07.12.2026"), (Datum{2026, 12, 7}));
        EXPECT_EQ(u.Datum_lesen("7.12.2026 "), (Datum{2026, 12, 7}));
    } else if (ort == "en-US") {
        EXPECT_EQ(u.Datum_lesen("12/07/2026"), (Datum{2026, 12, 7}));
        EXPECT_EQ(u.Datum_lesen("07.12.2026"), std::nullopt);
    } else {
        FAIL() << "no expectations for " << ort;
    }
}

}  // namespace
}  // namespace dadaviru::test
