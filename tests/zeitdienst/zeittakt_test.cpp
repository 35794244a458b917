// The time service's tick and texts, with both clocks handed in instead of read: a wall clock set
// either way while requests wait, and late wakes, must neither stop the answers nor make them name
// the wrong second.
// SPDX-License-Identifier: MIT
#include "zeittakt.h"

#include <gtest/gtest.h>

namespace zeitdienst {
namespace {

using namespace std::chrono;

// 2026-12-07 11:45:09 UTC
constexpr sys_seconds kSekunde{seconds{1796643909}};

// A loop with held requests, on two clocks of our own: the monotonic one only runs, the wall clock
// runs beside it and may be set.
struct Uhren {
    Monoton mono{hours(100)};
    nanoseconds abstand = kSekunde.time_since_epoch() - hours(100);
    Zeitpunkt wand() const { return Zeitpunkt(mono.time_since_epoch() + abstand); }
    void laufen(nanoseconds d) { mono += d; }
};

struct Tick {
    Sekunde sekunde;
    Zeitpunkt wand;  // when it went out
    Monoton mono;
};

// Plans at the current time and waits as the loop does (the timer exact, a spin in 100 µs steps);
// the wall clock is set by `versatz` once the monotonic clock reaches `stellen_bei`.
Tick warten_bis_zum_tick(Uhren& u, Monoton stellen_bei, nanoseconds versatz) {
    Taktplan plan = takt_planen(u.wand(), u.mono);
    bool gestellt = false;
    for (int i = 0; i < 100000; ++i) {
        if (!gestellt && u.mono >= stellen_bei) {
            u.abstand += versatz;
            gestellt = true;
        }
        const Taktschritt s = takt_pruefen(plan, u.wand(), u.mono);
        if (s.art == Taktschritt::ticken) return {s.sekunde, u.wand(), u.mono};
        if (s.art == Taktschritt::gleich_wieder) {
            u.laufen(100us);
            continue;
        }
        // Asleep until the plan's time; the clock may be set meanwhile.
        EXPECT_GE(s.plan.wecken, u.mono - kFruehWecken) << "a plan to wake in the past";
        plan = s.plan;
        u.mono = std::max(u.mono, plan.wecken);
        if (!gestellt && u.mono >= stellen_bei) {
            u.abstand += versatz;
            gestellt = true;
        }
    }
    ADD_FAILURE() << "no tick";
    return {};
}

TEST(Takt, AntwortetWennIhreSekundeBeginntUndNieDavor) {
    for (const milliseconds nach : {0ms, 1ms, 400ms, 999ms}) {
        Uhren u;
        u.laufen(nach);
        const Monoton start = u.mono;
        const Tick t = warten_bis_zum_tick(u, Monoton::max(), 0ns);
        EXPECT_EQ(t.sekunde, kSekunde + 1s) << nach.count() << " ms into the second";
        EXPECT_GE(t.wand, Zeitpunkt(t.sekunde)) << nach.count() << " ms";
        EXPECT_LT(t.wand, Zeitpunkt(t.sekunde) + 1ms) << nach.count() << " ms";
        EXPECT_LE(t.mono - start, 1s) << nach.count() << " ms";
    }
}

// A step either way, at any moment of the wait: the tick still names the second that has just begun,
// goes out as it begins, and comes at most one second later than it would have without the step.
TEST(Takt, EineWanduhrGestelltWaehrendDesWartensKostetHoechstensEineSekunde) {
    for (const nanoseconds versatz : std::initializer_list<nanoseconds>{-1h, 1h, -500ms, 500ms, -20ms, 20ms, -5ms, 5ms})
        for (const milliseconds wann : {0ms, 100ms, 500ms, 590ms, 597ms, 599ms}) {
            Uhren u;
            u.laufen(400ms);
            const Monoton ohne_schritt = u.mono + 600ms;
            const Tick t = warten_bis_zum_tick(u, u.mono + wann, versatz);
            const auto was = std::to_string(duration_cast<milliseconds>(versatz).count()) + " ms after " +
                             std::to_string(wann.count()) + " ms";
            EXPECT_EQ(t.sekunde, floor<seconds>(t.wand)) << was;
            EXPECT_LT(t.wand - Zeitpunkt(t.sekunde), 1ms) << was;
            EXPECT_LE(t.mono - ohne_schritt, 1s + kFruehWecken) << was;
        }
}

TEST(Takt, ZuSpaetGewecktAntwortetSieMitDerLaufendenSekunde) {
    Uhren u;
    const Taktplan plan = takt_planen(u.wand(), u.mono);
    EXPECT_EQ(plan.sekunde, kSekunde + 1s);
    for (const nanoseconds spaet : std::initializer_list<nanoseconds>{0ns, 300ms, 1200ms}) {
        Uhren spaeter = u;
        spaeter.mono = plan.wecken + kFruehWecken + spaet;
        const Taktschritt s = takt_pruefen(plan, spaeter.wand(), spaeter.mono);
        EXPECT_EQ(s.art, Taktschritt::ticken) << spaet.count();
        EXPECT_EQ(s.sekunde, floor<seconds>(spaeter.wand())) << spaet.count();
    }
    // Set forward meanwhile: the running second began long before, so it plans anew.
    Uhren vor = u;
    vor.mono = plan.wecken + kFruehWecken + 300ms;
    vor.abstand += 1h;
    EXPECT_EQ(takt_pruefen(plan, vor.wand(), vor.mono).art, Taktschritt::warten);
}

TEST(Zeittexte, EinAugenblickInZweiZonen) {
    ASSERT_TRUE(zone_waehlen("Europe/Berlin"));
    EXPECT_EQ(ortszeit_text(kSekunde), "2026-12-07 12:45:09");
    EXPECT_EQ(ortszeit_text(kSekunde).size(), kTextLaenge);
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
