// The helper uhrsteller, the one program that may hold CAP_SYS_TIME in a build with the file
// capability: it takes one instant, checks it and who asks, keeps CAP_SYS_TIME as its only
// capability, writes the clock and ends. Its whole run is a function here, so it can be tested as one.
//
// The instant comes with the CLOCK_MONOTONIC reading it belongs to, and the helper adds the time
// since then to it just before it writes: starting a program takes milliseconds, and an instant
// without it would land late by all of them.
// SPDX-License-Identifier: MIT
#pragma once

#include <sys/capability.h>
#include <sys/types.h>

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "aufruf.h"

namespace dadaviru::posix {

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

// The group whose members may set the clock, as the polkit rule and the install name it.
inline constexpr const char* Uhrsteller_Gruppe = "dadaviru";

// The user and group database as it stands (files, LDAP, whatever NSS names), not the groups a
// process took up at login: a user removed from the group must lose the right at once, and not keep
// it in every process of theirs that is older than the change.
class Gruppenbuch {
public:
    struct Nutzer {
        std::string name;
        gid_t gruppe;  // the primary group
    };
    virtual ~Gruppenbuch() = default;
    virtual std::optional<Nutzer> Nutzer_mit(uid_t uid) = 0;
    virtual std::optional<gid_t> Gruppe_namens(const char* name) = 0;
    // Every group the database lists the user in, the primary one included; nothing on failure.
    virtual std::optional<std::vector<gid_t>> Gruppen_von(const Nutzer& nutzer) = 0;
};

class Gruppenbuch_Nss final : public Gruppenbuch {
public:
    std::optional<Nutzer> Nutzer_mit(uid_t uid) override;
    std::optional<gid_t> Gruppe_namens(const char* name) override;
    std::optional<std::vector<gid_t>> Gruppen_von(const Nutzer& nutzer) override;
};

// Whether the real user `wer` may have the clock set: root, or a member of Uhrsteller_Gruppe by the
// database. Anything the database cannot answer is a no.
bool Darf_stellen(uid_t wer, Gruppenbuch& buch);

// What the helper reads and writes of the clocks.
struct Uhrzugriff {
    std::function<timespec()> monoton;             // CLOCK_MONOTONIC now
    std::function<bool(const timespec&)> stellen;  // writes CLOCK_REALTIME; false when refused
};

// Who runs the helper: its real user, and the database that says whether they may.
struct Aufrufer {
    uid_t wer;
    Gruppenbuch& buch;
};

// The helper's run: `argv[1]` is the instant, `argv[2]` the CLOCK_MONOTONIC reading at which the
// clock should have shown it.
int Uhrsteller(int argc, const char* const* argv, const Aufrufer& aufrufer, Prozessrechte& rechte,
               const Uhrzugriff& uhr);

}  // namespace dadaviru::posix
