// Reading dates and times of day written as text: ISO, a locale's order, and what must not pass.
// SPDX-License-Identifier: MIT
#include "sync/datumstext.h"

#include <gtest/gtest.h>

namespace dadaviru::test {
namespace {

TEST(Datum, IsoUndOrtsuebliche) {
    EXPECT_EQ(Datum_aus_text("2026-12-07", ""), (Datum{2026, 12, 7}));
    EXPECT_EQ(Datum_aus_text(" 2026-1-7\t", ""), (Datum{2026, 1, 7}));
    EXPECT_EQ(Datum_aus_text("07.12.2026", "%d.%m.%Y"), (Datum{2026, 12, 7}));
    EXPECT_EQ(Datum_aus_text("7.12.2026 ", "%-d.%-m.%Y"), (Datum{2026, 12, 7}));
    EXPECT_EQ(Datum_aus_text("12/07/2026", "%m/%d/%Y"), (Datum{2026, 12, 7}));
    EXPECT_EQ(Datum_aus_text("07/12/2026", "%d/%m/%y"), (Datum{2026, 12, 7}));
    EXPECT_EQ(Datum_aus_text("12/07/2026", "%D"), (Datum{2026, 12, 7}));
    EXPECT_EQ(Datum_aus_text("2026-12-07", "%d.%m.%Y"), (Datum{2026, 12, 7}));  // ISO always
}

TEST(Datum, NurEchteKalenderdaten) {
    for (const char* text : {"2026-02-29", "2026-02-30", "2026-13-01", "2026-00-10", "2026-04-31", "2026-12-00",
                             "1600-12-31", "0000-01-01", "31.12.1600"}) {
        EXPECT_EQ(Datum_aus_text(text, "%d.%m.%Y"), std::nullopt) << text;
    }
    EXPECT_EQ(Datum_aus_text("2024-02-29", ""), (Datum{2024, 2, 29}));
    EXPECT_EQ(Datum_aus_text("2000-02-29", ""), (Datum{2000, 2, 29}));
    EXPECT_EQ(Datum_aus_text("1900-02-29", ""), std::nullopt);
    EXPECT_EQ(Datum_aus_text("9999-12-31", ""), (Datum{9999, 12, 31}));
}

TEST(Datum, AnderesIstKeinDatum) {
    for (const char* text : {"", "  ", "12:00:00", "<html><bo", "2026-12-07x", "2026-12-", "26-12-07", "2026--12-07",
                             "+2026-12-7", "07.12.26", "2026 12 07",
                             "\xEF\xBF\xBD"
                             "026-12-07"}) {
        EXPECT_EQ(Datum_aus_text(text, "%d.%m.%Y"), std::nullopt) << text;
    }
    // A locale pattern that is no date order, or one we cannot read, leaves only ISO.
    EXPECT_EQ(Datum_aus_text("07.12.2026", "%d.%m"), std::nullopt);
    EXPECT_EQ(Datum_aus_text("07.12.2026", "%A %d.%m.%Y"), std::nullopt);
    EXPECT_EQ(Datum_aus_text("07.12.2026", "%"), std::nullopt);
}

TEST(Uhrzeit, MitUndOhneSekunden) {
    EXPECT_EQ(Uhrzeit_aus_text("13:45:09"), (Uhrzeit{13, 45, 9}));
    EXPECT_EQ(Uhrzeit_aus_text(" 13:45 "), (Uhrzeit{13, 45, 0}));
    EXPECT_EQ(Uhrzeit_aus_text("0:00:00"), (Uhrzeit{0, 0, 0}));
    EXPECT_EQ(Uhrzeit_aus_text("23:59:59"), (Uhrzeit{23, 59, 59}));
    for (const char* text : {"", "24:00:00", "12:60:00", "12:00:60", "12", "12:", "12:0", "12:00:", "12:00:0",
                             "12-00-00", "2026-12-", "12:00:00x", "-1:00:00", "123:00:00"}) {
        EXPECT_EQ(Uhrzeit_aus_text(text), std::nullopt) << text;
    }
}

}  // namespace
}  // namespace dadaviru::test
