// When the time service answers and what it writes: the second a request is answered with, the
// tick that held requests wait for, and the texts of a second (body, Date header, access-log stamp).
// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace zeitdienst {

using namespace std::chrono_literals;

using Sekunde = std::chrono::sys_seconds;
using Zeitpunkt = std::chrono::sys_time<std::chrono::nanoseconds>;
using Monoton = std::chrono::steady_clock::time_point;

struct Antwortzeit {
    Sekunde sekunde;    // the second the answer names
    Zeitpunkt faellig;  // when to send it
};

// At once: now, rounded to the nearest second, because the client takes the text as the time of
// arrival and truncation would leave it behind. (Held answers are planned by the tick below.)
Antwortzeit antwortzeit(Zeitpunkt jetzt, bool sofort);

// A held answer leaves early by half the connection's round trip, so that it arrives as its second
// begins. The kernel's smallest round trip of the connection is the path without queues; zero means
// it has none yet, and then there is no lead. More than kVorlaufHoechstens (a round trip over a
// geostationary satellite) is no path a client of ours can use, so the lead stops there.
inline constexpr auto kVorlaufHoechstens = 300ms;
std::chrono::nanoseconds vorlauf(std::chrono::microseconds kleinster_rundlauf);

// Held answers due within this span leave together, at a tick in its middle: a wake of its own for
// each would cost more than the microseconds by which they arrive early or late. An answer leaves at
// most half of it early or late, a lone one on time; and a loop wakes less often the closer together
// its clients' leads lie, however many they are.
inline constexpr auto kBuendeln = 200us;

// The tick for the earliest held answer, `erster`, given the next, `zweiter`: between the two, when
// they lie close enough to leave together, else its own instant. It takes every answer due up to half
// of kBuendeln after it.
Zeitpunkt takt_fuer(Zeitpunkt erster, Zeitpunkt zweiter);

// The second a held answer names: the first whose beginning it can still reach when it leaves
// `vorlauf` early. A request that arrives inside the lead of the coming second (or within kBuendeln
// before it) waits for the next.
Sekunde zielsekunde(Zeitpunkt jetzt, std::chrono::nanoseconds vorlauf);

// The second an answer names that leaves at `wand` for `ziel`: that one, or, sent late, the second
// in which it arrives, so the text is true either way.
Sekunde genannte_sekunde(Sekunde ziel, Zeitpunkt wand, std::chrono::nanoseconds vorlauf);

// More than this between the two clocks since the plan was made, and the wall clock was set: NTP's
// slewing alone moves it half a millisecond a second at most. (Both clocks must be read together for
// this; a thread put aside between the two readings would look like a step.)
inline constexpr auto kUhrGestellt = 1ms;

// The next tick of held answers: the wall-clock instant the earliest of them leaves. It is waited for
// on the monotonic clock, which no one sets, and never for more than a second and a lead, so a wall
// clock set either way costs one second at most.
struct Taktplan {
    Zeitpunkt ziel{};                    // when, by the wall clock, the next answers leave
    Monoton wecken{};                    // when to look again
    std::chrono::nanoseconds abstand{};  // wall clock minus monotonic clock when planned
    std::chrono::nanoseconds vorhalt{};  // how much early the timer is set (Weckverzug, Wartezeit)
    std::chrono::nanoseconds warten{};   // of that, how much the loop may spin for the instant
};

Taktplan takt_planen(Zeitpunkt ziel, Zeitpunkt wand, Monoton mono, std::chrono::nanoseconds vorhalt = {});

// What a loop with held answers does on waking, from a fresh reading of both clocks: send those due
// now (within the plan's vorhalt and half of kBuendeln); wait for the plan it returns, when the wake came
// earlier than that; or, when the wall clock was set since the plan was made, give every held answer
// its second afresh and plan again. The loop never watches the clock for the instant.
struct Taktschritt {
    enum Art { ticken, warten, gestellt } art;
    Taktplan plan{};  // warten: the plan to wait for
};

Taktschritt takt_pruefen(const Taktplan& plan, Zeitpunkt wand, Monoton mono);

// A timer's wake comes late by the time the kernel and the scheduler take to run the loop: a tenth
// of a millisecond and more on a busy or a virtual machine, which would make every answer leave that
// much after its instant. The loop learns the lag from its own wakes and sets its timer that much
// early, so that its answers leave around their instant, as many a little early as late, without
// spinning on the clock for it.
class Weckverzug {
public:
    // How late a wake came after the instant its timer was set for.
    void lernen(std::chrono::nanoseconds spaet);
    // How early to set the timer: the median of the lags, as a running estimate that moves by
    // kVorhaltSchritt per wake, so that a wake held up by other work now and then barely moves it.
    // Over its first kAnlernen wakes it moves a quarter of the way to each lag instead, up to
    // kVorhaltSchrittAnfangs, so that a fresh service has learnt its machine after a few ticks.
    std::chrono::nanoseconds vorhalt() const { return vorhalt_; }

private:
    std::chrono::nanoseconds vorhalt_{};
    int gelernt_ = 0;
};
inline constexpr auto kVorhaltHoechstens = 1ms;  // a machine that wakes later than this is overloaded
inline constexpr auto kVorhaltSchritt = 5us;
inline constexpr int kAnlernen = 16;
inline constexpr auto kVorhaltSchrittAnfangs = 50us;

// A wake misses its instant by the spread of its lag around what the loop learnt: a tenth of a
// millisecond on a virtual machine, more than everything else between a held answer and its client.
// A tick that may spin wakes kWarten earlier still and watches the clock for the rest, at the price
// of that much CPU: only in a loop that holds a few answers, and for kWartenJeSekunde of each second
// at most. A busy machine is better off without it: a core spun away at the second's start is
// missing for the work that moment brings (with 200 clients on both cores of a small machine, an
// answer of the same second was then sent 2 ms late). A service with few clients has them on the
// instant; one with many relies on the lag it learnt.
inline constexpr auto kWarten = 100us;
inline constexpr auto kWartenJeSekunde = 300us;
inline constexpr std::size_t kWartenHoechstensGehalten = 4;
class Wartezeit {
public:
    // Whether a tick planned now may spin.
    bool frei(Monoton jetzt);
    void verbraucht(std::chrono::nanoseconds dauer) { verbraucht_ += dauer; }

private:
    Monoton seit_{};
    std::chrono::nanoseconds verbraucht_{};
};

// Chooses the zone for all texts below by its IANA name (e.g. "Europe/Berlin"). False for a name
// that names no zone file, which the C library would otherwise take silently as UTC.
bool zone_waehlen(std::string_view name);

std::string ortszeit_text(Sekunde s);  // "YYYY-MM-DD HH:MM:SS" in the chosen zone
inline constexpr std::size_t kTextLaenge = sizeof "YYYY-MM-DD HH:MM:SS" - 1;
std::string http_datum(Sekunde s);  // "Mon, 07 Dec 2026 12:00:00 GMT"
std::string clf_zeit(Sekunde s);    // "07/Dec/2026:13:00:00 +0100" in the chosen zone

}  // namespace zeitdienst
