// The time service's view of its own clock, from the kernel's NTP state.
// SPDX-License-Identifier: MIT
#include "uhrlage.h"

#include <sys/timex.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zeitdienst {

Uhrlage uhrlage_beurteilen(int rueckgabe, int fehler, int status, long maxfehler_us,
                           std::chrono::milliseconds hoechstfehler) {
    char text[160];
    if (rueckgabe < 0) {
        std::snprintf(text, sizeof text, "its state cannot be read (adjtimex: %s)", std::strerror(fehler));
        return {false, text};
    }
    const double maxfehler_s = static_cast<double>(maxfehler_us) / 1e6;
    if (rueckgabe == TIME_ERROR || (status & STA_UNSYNC) != 0) {
        const char* was = rueckgabe != TIME_ERROR      ? "STA_UNSYNC"
                          : (status & STA_UNSYNC) != 0 ? "TIME_ERROR STA_UNSYNC"
                                                       : "TIME_ERROR";
        std::snprintf(text, sizeof text, "the kernel reports it unsynchronised (%s, maximum error %.3f s)", was,
                      maxfehler_s);
        return {false, text};
    }
    const auto grenze_us = std::chrono::duration_cast<std::chrono::microseconds>(hoechstfehler).count();
    if (maxfehler_us > grenze_us) {
        std::snprintf(text, sizeof text, "its maximum error is %.3f s, above the bound of %.3f s", maxfehler_s,
                      static_cast<double>(grenze_us) / 1e6);
        return {false, text};
    }
    std::snprintf(text, sizeof text, "maximum error %.3f s", maxfehler_s);
    return {true, text};
}

bool Uhrwaechter::synchron() {
    if (!pruefen_) return true;
    using namespace std::chrono;
    const long long jetzt = duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
    long long gefragt = gefragt_ns_.load(std::memory_order_relaxed);
    // One loop asks for all; the others take the verdict it found.
    if (jetzt - gefragt < 1'000'000'000LL ||
        !gefragt_ns_.compare_exchange_strong(gefragt, jetzt, std::memory_order_relaxed))
        return lage_.load(std::memory_order_relaxed) == 1;
    timex t{};  // modes 0: only reads, which needs no privilege
    const int r = ::adjtimex(&t);
    const Uhrlage lage = uhrlage_beurteilen(r, r < 0 ? errno : 0, t.status, t.maxerror, hoechstfehler_);
    const int neu = lage.synchron ? 1 : 0;
    if (lage_.exchange(neu, std::memory_order_relaxed) != neu) {
        if (lage.synchron)
            std::fprintf(stderr, "zeitdienst: the clock is synchronised (%s): answering with the time\n",
                         lage.grund.c_str());
        else
            std::fprintf(stderr, "zeitdienst: the clock is not known to be right: %s; answering 503 until it is\n",
                         lage.grund.c_str());
    }
    return lage.synchron;
}

}  // namespace zeitdienst
