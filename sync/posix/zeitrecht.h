// CAP_SYS_TIME, held only in the permitted set: raised into the effective set around each direct
// clock write, and dropped from every set when the run is over.
// SPDX-License-Identifier: MIT
#pragma once

#include <sys/capability.h>

#include <memory>

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

class Zeitrecht {
public:
    explicit Zeitrecht(Prozessrechte& rechte) : rechte_(rechte) {}
    // True when CAP_SYS_TIME is now effective; false when it is not permitted, or was dropped.
    bool Heben();
    void Senken();
    // From the effective, permitted and inheritable sets alike; for good.
    void Ablegen();

private:
    bool aendern(const cap_flag_t* mengen, int anzahl, cap_flag_value_t wert);

    Prozessrechte& rechte_;
};

// Keeps CAP_SYS_TIME effective for its own lifetime, when it is permitted at all.
class Zeitrecht_erhoben {
public:
    explicit Zeitrecht_erhoben(Zeitrecht& recht) : recht_(recht), erhoben_(recht.Heben()) {}
    ~Zeitrecht_erhoben() {
        if (erhoben_) recht_.Senken();
    }
    Zeitrecht_erhoben(const Zeitrecht_erhoben&) = delete;
    Zeitrecht_erhoben& operator=(const Zeitrecht_erhoben&) = delete;

private:
    Zeitrecht& recht_;
    bool erhoben_;
};

}  // namespace dadaviru::posix
