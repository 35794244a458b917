// The two ways a Linux build sets the clock: through systemd-timedated on the system bus, which
// decides by polkit who may, and directly by the helper uhrsteller, where no timedated is there to ask.
// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "uhr_posix.h"

struct sd_bus;

namespace dadaviru::posix {

// org.freedesktop.timedate1.SetTime with a relative step, never interactive. timedated asks polkit
// before it sets the clock; a step is added to the clock as it reads after that answer, where an
// absolute instant would land late by the whole wait. The connection is opened at the first write
// and kept for the run; each call waits `zeitlimit_us` at most.
class Schreiber_Timedated final : public Uhrschreiber {
public:
    static constexpr unsigned long long Zeitlimit_us = 5'000'000;
    explicit Schreiber_Timedated(unsigned long long zeitlimit_us = Zeitlimit_us);
    ~Schreiber_Timedated() override;
    Schreibergebnis Schreiben(std::chrono::nanoseconds schritt) override;
    void Beenden() override;

private:
    struct Bus_schliessen {
        void operator()(sd_bus* bus) const noexcept;
    };
    Schreibergebnis verbinden();

    std::unique_ptr<sd_bus, Bus_schliessen> bus_;
    unsigned long long zeitlimit_us_;
    bool geoeffnet_ = false;
    // Once set, the answer to every further write: the bus is missing, or cannot be used.
    std::optional<Schreibergebnis> ohne_bus_;
};

// Runs the helper at `pfad` for each write, with the instant the clock is to show and the
// CLOCK_MONOTONIC reading it belongs to; only the helper may hold CAP_SYS_TIME, and the process
// that runs GTK never does. The helper gets an environment of nothing but the variables named in
// `weitergereicht`, none in the programs as shipped.
class Schreiber_Uhrsteller final : public Uhrschreiber {
public:
    explicit Schreiber_Uhrsteller(std::string pfad, std::vector<std::string> weitergereicht = {});
    Schreibergebnis Schreiben(std::chrono::nanoseconds schritt) override;

private:
    std::string pfad_;
    std::vector<std::string> weitergereicht_;
};

}  // namespace dadaviru::posix
