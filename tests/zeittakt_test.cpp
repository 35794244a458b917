// The time service's answer second and texts, with the time handed in instead of read from the clock.
// SPDX-License-Identifier: MIT
#include "zeittakt.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace zeitdienst {
namespace {

using namespace std::chrono;

// 2026-12-07 11:45:09 UTC
constexpr sys_seconds kSekunde{seconds{1796643909}};

TEST(Antwortzeit, HeldToTheNextSecondOrRoundedAtOnce) {
    struct Fall {
        milliseconds nach;  // after kSekunde
        bool sofort;
        seconds antwort;  // the second answered, after kSekunde
        milliseconds faellig;
    };
    const Fall faelle[] = {
        {0ms, false, 1s, 1000ms}, {1ms, false, 1s, 1000ms}, {999ms, false, 1s, 1000ms}, {1000ms, false, 2s, 2000ms},
        {0ms, true, 0s, 0ms},     {499ms, true, 0s, 499ms}, {500ms, true, 1s, 500ms},   {999ms, true, 1s, 999ms},
    };
    for (const auto& f : faelle) {
        const auto az = antwortzeit(kSekunde + f.nach, f.sofort);
        EXPECT_EQ(az.sekunde, kSekunde + f.antwort) << f.nach.count() << " ms, sofort " << f.sofort;
        EXPECT_EQ(az.faellig, kSekunde + f.faellig) << f.nach.count() << " ms, sofort " << f.sofort;
    }
}

TEST(Zeittexte, OneInstantInTwoZones) {
    ASSERT_TRUE(zone_waehlen("Europe/Berlin"));
    EXPECT_EQ(ortszeit_text(kSekunde), "2026-12-07 12:45:09");
    EXPECT_EQ(clf_zeit(kSekunde), "07/Dec/2026:12:45:09 +0100");
    ASSERT_TRUE(zone_waehlen("Asia/Kathmandu"));
    EXPECT_EQ(ortszeit_text(kSekunde), "2026-12-07 17:30:09");
    EXPECT_EQ(clf_zeit(kSekunde), "07/Dec/2026:17:30:09 +0545");
    EXPECT_EQ(http_datum(kSekunde), "Mon, 07 Dec 2026 11:45:09 GMT");
    for (const char* falsch : {"", "Mars/Olympus", "../etc/passwd", "/etc/localtime", "Europe"})
        EXPECT_FALSE(zone_waehlen(falsch)) << falsch;
}

}  // namespace
}  // namespace zeitdienst
