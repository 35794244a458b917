// The two ways a Linux build sets the clock: through systemd-timedated on the system bus, which
// decides by polkit who may, and directly, where no timedated is there to ask.
// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include "uhr_posix.h"
#include "zeitrecht.h"

struct sd_bus;

namespace dadaviru::posix {

// org.freedesktop.timedate1.SetTime with an absolute instant, never interactive. The connection
// is opened at the first write and kept for the run; each call waits `zeitlimit_us` at most.
class Schreiber_Timedated final : public Uhrschreiber {
public:
    static constexpr unsigned long long Zeitlimit_us = 5'000'000;
    explicit Schreiber_Timedated(unsigned long long zeitlimit_us = Zeitlimit_us);
    ~Schreiber_Timedated() override;
    Schreibergebnis Schreiben(const timespec& neu) override;
    void Beenden() override;

private:
    struct Bus_schliessen {
        void operator()(sd_bus* bus) const noexcept;
    };
    std::unique_ptr<sd_bus, Bus_schliessen> bus_;
    unsigned long long zeitlimit_us_;
    bool geoeffnet_ = false;
    bool stumm_ = false;  // the bus let a call run out of time once
};

// clock_settime, with CAP_SYS_TIME effective only for the call itself.
class Schreiber_Direkt final : public Uhrschreiber {
public:
    Schreibergebnis Schreiben(const timespec& neu) override;
    void Beenden() override;

private:
    Prozessrechte_Libcap prozess_;
    Zeitrecht recht_{prozess_};
};

}  // namespace dadaviru::posix
