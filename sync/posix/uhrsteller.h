// The helper uhrsteller, the one program that may hold CAP_SYS_TIME in a build with the file
// capability: it takes one instant, checks it, keeps CAP_SYS_TIME as its only capability, writes
// the clock and ends. Its whole run is a function here, so it can be tested as one.
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

// The instant as the helper takes it: seconds since the epoch, a point and nine digits of
// nanoseconds, nothing else.
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
    ungueltig = 2,      // not exactly one argument, or not an instant
    ohne_recht = 3,     // CAP_SYS_TIME is not permitted to this process
    rechte_fehler = 4,  // the other capabilities could not be dropped, or CAP_SYS_TIME not raised
};

// The helper's run: `argv[1]` is the instant; `stellen` writes it and says whether the kernel took it.
int Uhrsteller(int argc, const char* const* argv, Prozessrechte& rechte,
               const std::function<bool(const timespec&)>& stellen);

}  // namespace dadaviru::posix
