// The helper uhrsteller, the one program that may hold CAP_SYS_TIME in a build with the file
// capability: it takes one instant, checks it, keeps CAP_SYS_TIME as its only capability, writes
// the clock and ends. Its whole run is a function here, so it can be tested as one.
//
// The instant comes with the CLOCK_MONOTONIC reading it belongs to, and the helper adds the time
// since then to it just before it writes: starting a program takes milliseconds, and an instant
// without it would land late by all of them.
// SPDX-License-Identifier: MIT
#pragma once

#include <sys/capability.h>

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace dadaviru::posix {

// An instant (or a CLOCK_MONOTONIC reading) as the helper takes it: seconds, a point and nine
// digits of nanoseconds, nothing else.
std::string Zeitpunkt_als_text(const timespec& zeitpunkt);
// Nothing unless the text is exactly that, for an instant the kernel could take as the time.
std::optional<timespec> Zeitpunkt_aus_text(std::string_view text);

struct Cap_freigeben {
    void operator()(_cap_struct* c) const noexcept { cap_free(c); }
};
using Cap = std::unique_ptr<_cap_struct, Cap_freigeben>;

// The process's capability sets, as libcap reads and writes them.
class Prozessrechte {
public:
    virtual ~Prozessrechte() = default;
    virtual Cap Lesen() = 0;
    virtual bool Setzen(const Cap& rechte) = 0;
};

class Prozessrechte_Libcap final : public Prozessrechte {
public:
    Cap Lesen() override;
    bool Setzen(const Cap& rechte) override;
};

// The helper's exit status. Anything but `gesetzt` means the clock was not written.
enum Uhrsteller_Status : int {
    gesetzt = 0,
    verweigert = 1,     // the kernel refused the write
    ungueltig = 2,      // not an instant and its reading, or a reading yet to come
    ohne_recht = 3,     // CAP_SYS_TIME is not permitted to this process
    rechte_fehler = 4,  // the other capabilities could not be dropped, or CAP_SYS_TIME not raised
};

// What the helper reads and writes of the clocks.
struct Uhrzugriff {
    std::function<timespec()> monoton;             // CLOCK_MONOTONIC now
    std::function<bool(const timespec&)> stellen;  // writes CLOCK_REALTIME; false when refused
};

// The helper's run: `argv[1]` is the instant, `argv[2]` the CLOCK_MONOTONIC reading at which the
// clock should have shown it.
int Uhrsteller(int argc, const char* const* argv, Prozessrechte& rechte, const Uhrzugriff& uhr);

}  // namespace dadaviru::posix
