// Whether this host's clock is known to be right: the kernel's own verdict, as NTP (chrony,
// systemd-timesyncd, ntpd) keeps it current. A service whose clock is not synchronised has no time to
// hand out, and answers 503 instead.
// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <chrono>
#include <string>

namespace zeitdienst {

// The clients' own wait before they ask again, in seconds, for the Retry-After of a 503.
inline constexpr int kNochmalNachSekunden = 60;

struct Uhrlage {
    bool synchron = false;
    std::string grund;  // for the log: what the kernel said
};

// The verdict on what adjtimex() returned (`rueckgabe`, or -1 with `fehler` its errno), the status
// bits and the maximum error in microseconds. Unsynchronised when the kernel says so (TIME_ERROR,
// STA_UNSYNC), when the maximum error is above `hoechstfehler`, or when it cannot be asked.
Uhrlage uhrlage_beurteilen(int rueckgabe, int fehler, int status, long maxfehler_us,
                           std::chrono::milliseconds hoechstfehler);

// The verdict for the running service, shared by all its loops. It asks the kernel at most once a
// second, and writes each change of the verdict once to standard error (the journal), with its grund.
class Uhrwaechter {
public:
    Uhrwaechter(bool pruefen, std::chrono::milliseconds hoechstfehler)
        : pruefen_(pruefen), hoechstfehler_(hoechstfehler) {}
    bool synchron();

private:
    const bool pruefen_;
    const std::chrono::milliseconds hoechstfehler_;
    std::atomic<long long> gefragt_ns_{-1'000'000'000'000LL};  // monotonic, when the kernel was last asked
    std::atomic<int> lage_{-1};                                // -1 not known yet, 0 not synchronised, 1 synchronised
};

}  // namespace zeitdienst
