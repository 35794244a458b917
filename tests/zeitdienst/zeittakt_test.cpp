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

// Holds an answer with lead `vorlauf` at the current time and waits as the loop does, on a timer
// that wakes exactly; the wall clock is set by `versatz` once the monotonic clock reaches `stellen_bei`.
Tick warten_bis_zum_tick(Uhren& u, Monoton stellen_bei, nanoseconds versatz, nanoseconds vorlauf) {
    Sekunde ziel = zielsekunde(u.wand(), vorlauf);
    Taktplan plan = takt_planen(Zeitpunkt(ziel) - vorlauf, u.wand(), u.mono);
    bool gestellt = false;
    const auto vielleicht_stellen = [&] {
        if (gestellt || u.mono < stellen_bei) return;
        u.abstand += versatz;
        gestellt = true;
    };
    for (int i = 0; i < 100000; ++i) {
        vielleicht_stellen();
        const Taktschritt s = takt_pruefen(plan, u.wand(), u.mono);
        switch (s.art) {
            case Taktschritt::ticken:
                return {genannte_sekunde(ziel, u.wand(), vorlauf), u.wand(), u.mono};
            case Taktschritt::gestellt:
                ziel = zielsekunde(u.wand(), vorlauf);
                plan = takt_planen(Zeitpunkt(ziel) - vorlauf, u.wand(), u.mono);
                break;
            case Taktschritt::warten:
                plan = s.plan;
                break;
        }
        // Asleep until the plan's time; the clock may be set meanwhile.
        EXPECT_GT(plan.wecken, u.mono) << "a plan to wake now or in the past, which would spin";
        u.mono = std::max(u.mono, plan.wecken);
        vielleicht_stellen();
    }
    ADD_FAILURE() << "no tick";
    return {};
}

constexpr nanoseconds kVorlaeufe[] = {0ns, 40ms};

// With a lead, the answer leaves that much early and so arrives as its second begins.
TEST(Takt, AntwortetSoDassSieAnkommtWennIhreSekundeBeginntUndNieDavor) {
    for (const nanoseconds vorlauf : kVorlaeufe)
        for (const milliseconds nach : {0ms, 1ms, 400ms, 959ms, 961ms, 999ms}) {
            Uhren u;
            u.laufen(nach);
            const Monoton start = u.mono;
            const Tick t = warten_bis_zum_tick(u, Monoton::max(), 0ns, vorlauf);
            const auto was = std::to_string(nach.count()) + " ms into the second, lead " +
                             std::to_string(duration_cast<milliseconds>(vorlauf).count()) + " ms";
            // Inside the lead of the coming second, it cannot arrive in time and waits for the next.
            EXPECT_EQ(t.sekunde, kSekunde + (nach + vorlauf + kBuendeln < 1s ? 1s : 2s)) << was;
            EXPECT_GE(t.wand + vorlauf, Zeitpunkt(t.sekunde)) << was;
            EXPECT_LT(t.wand + vorlauf, Zeitpunkt(t.sekunde) + 1ms) << was;
            EXPECT_LE(t.mono - start, 2s) << was;
        }
}

// A step either way, at any moment of the wait: the tick still names the second that begins as it
// arrives, and comes at most one second later than it would have without the step.
TEST(Takt, EineWanduhrGestelltWaehrendDesWartensKostetHoechstensEineSekunde) {
    for (const nanoseconds vorlauf : kVorlaeufe)
        for (const nanoseconds versatz :
             std::initializer_list<nanoseconds>{-1h, 1h, -500ms, 500ms, -20ms, 20ms, -5ms, 5ms})
            for (const milliseconds wann : {0ms, 100ms, 500ms, 550ms, 557ms, 559ms, 590ms, 597ms, 599ms}) {
                Uhren u;
                u.laufen(400ms);
                const Monoton ohne_schritt = u.mono + 600ms - vorlauf;
                const Tick t = warten_bis_zum_tick(u, u.mono + wann, versatz, vorlauf);
                const auto was = std::to_string(duration_cast<milliseconds>(versatz).count()) + " ms after " +
                                 std::to_string(wann.count()) + " ms, lead " +
                                 std::to_string(duration_cast<milliseconds>(vorlauf).count()) + " ms";
                EXPECT_EQ(t.sekunde, floor<seconds>(t.wand + vorlauf)) << was;
                EXPECT_LT(t.wand + vorlauf - Zeitpunkt(t.sekunde), 1ms) << was;
                EXPECT_LE(t.mono - ohne_schritt, 1s) << was;
            }
}

TEST(Takt, ZuSpaetGewecktNenntSieDieSekundeIhrerAnkunft) {
    Uhren u;
    const nanoseconds vorlauf = 40ms;
    const Sekunde ziel = zielsekunde(u.wand(), vorlauf);
    EXPECT_EQ(ziel, kSekunde + 1s);
    const Taktplan plan = takt_planen(Zeitpunkt(ziel) - vorlauf, u.wand(), u.mono);
    for (const nanoseconds spaet : std::initializer_list<nanoseconds>{0ns, 300ms, 1200ms}) {
        Uhren spaeter = u;
        spaeter.mono = plan.wecken + spaet;
        EXPECT_EQ(takt_pruefen(plan, spaeter.wand(), spaeter.mono).art, Taktschritt::ticken) << spaet.count();
        EXPECT_EQ(genannte_sekunde(ziel, spaeter.wand(), vorlauf), floor<seconds>(spaeter.wand() + vorlauf))
            << spaet.count();
    }
    // Set forward meanwhile: the second began long before, so every held answer is given a new one.
    Uhren vor = u;
    vor.mono = plan.wecken + 300ms;
    vor.abstand += 1h;
    EXPECT_EQ(takt_pruefen(plan, vor.wand(), vor.mono).art, Taktschritt::gestellt);
}

// The timer is set early by the median of the wakes' lags: nine in ten wakes 150 µs late and one in
// ten held up 5 ms by other work make it 150 µs, so half the answers leave a little early; and a
// machine that wakes ever later gets no more than the bound.
TEST(Takt, DerTimerGehtUmDenMedianDerVerspaetungenVor) {
    Weckverzug v;
    for (int i = 0; i < 1000; ++i) {
        v.lernen(i % 10 == 5 ? 5ms : 150us);
        // A few ticks in, it has learnt the machine, and one held-up wake moves it only a little.
        if (i >= kAnlernen + 10) {
            EXPECT_LE(abs(v.vorhalt() - 150us), 2 * kVorhaltSchritt) << i;
        }
    }
    EXPECT_LE(abs(v.vorhalt() - 150us), 2 * kVorhaltSchritt);
    // Set that much early, a wake at the median lag is on time, and one up to the lead early sends.
    Uhren u;
    const Taktplan plan = takt_planen(Zeitpunkt(kSekunde + 1s), u.wand(), u.mono, v.vorhalt());
    u.mono = plan.wecken + 150us;
    EXPECT_LT(abs(u.wand() - plan.ziel), 2 * kVorhaltSchritt);
    u.mono = plan.wecken;
    EXPECT_EQ(takt_pruefen(plan, u.wand(), u.mono).art, Taktschritt::ticken);
    for (int i = 0; i < 1000; ++i)
        v.lernen(1s);
    EXPECT_EQ(v.vorhalt(), kVorhaltHoechstens);
}

// Spinning for the instant costs at most its share of each second.
TEST(Takt, HoechstensSovielWartenJeSekunde) {
    Wartezeit w;
    Monoton t{hours(1)};
    EXPECT_TRUE(w.frei(t));
    w.verbraucht(kWartenJeSekunde - 1us);
    EXPECT_TRUE(w.frei(t + 500ms));
    w.verbraucht(1us);
    EXPECT_FALSE(w.frei(t + 999ms));
    EXPECT_TRUE(w.frei(t + 1s));
}

// Two answers close together leave between their instants, neither more than half the span off; one
// with none close to it leaves on its own instant.
TEST(Takt, NaheAntwortenGehenZusammenInDerMitte) {
    const Zeitpunkt t(kSekunde);
    EXPECT_EQ(takt_fuer(t, t + 60us), t + 30us);
    EXPECT_EQ(takt_fuer(t, t + kBuendeln), t + kBuendeln / 2);
    EXPECT_EQ(takt_fuer(t, t + kBuendeln + 1ns), t);
    EXPECT_EQ(takt_fuer(t, Zeitpunkt::max()), t);
}

// Half the round trip, none without a measurement, and never more than a path a client can use.
TEST(Takt, DerVorlaufIstDerHalbeRundlaufInSeinenGrenzen) {
    EXPECT_EQ(vorlauf(0us), 0ns);
    EXPECT_EQ(vorlauf(30us), 15us);
    EXPECT_EQ(vorlauf(80ms), 40ms);
    EXPECT_EQ(vorlauf(2 * kVorlaufHoechstens), kVorlaufHoechstens);
    EXPECT_EQ(vorlauf(20s), kVorlaufHoechstens);
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
