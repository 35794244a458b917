// Sets the clock through systemd-timedated (sd-bus), or directly with clock_settime.
// SPDX-License-Identifier: MIT
#include "schreiber.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdint>

namespace dadaviru::posix {

namespace {

constexpr const char* dienst = "org.freedesktop.timedate1";

bool fehlt_die_verbindung(int r) {
    return r == -ECONNREFUSED || r == -ENOENT || r == -ECONNRESET || r == -ENOTCONN || r == -EPIPE;
}

// No timedated to ask: not on this bus, or no bus at all. Anything else it or the bus answers
// (not authorised, automatic synchronisation on, a time-out) is its decision and stands.
bool fehlt_der_dienst(const sd_bus_error& fehler, int r) {
    if (sd_bus_error_has_names(&fehler, SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER,
                               SD_BUS_ERROR_UNKNOWN_OBJECT, SD_BUS_ERROR_UNKNOWN_INTERFACE,
                               SD_BUS_ERROR_UNKNOWN_METHOD))
        return true;
    return !sd_bus_error_is_set(&fehler) && fehlt_die_verbindung(r);
}

std::uint64_t monoton_us() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::uint64_t>(t.tv_sec) * 1'000'000 + static_cast<std::uint64_t>(t.tv_nsec) / 1000;
}

// sd-bus would give a peer that never completes the handshake a minute and a half; this gives
// it the time-out of a call. 0 when the connection is up, else a negative errno.
int bereit_binnen(sd_bus* bus, std::uint64_t zeitlimit_us) {
    const std::uint64_t ende = monoton_us() + zeitlimit_us;
    for (;;) {
        int r = sd_bus_is_ready(bus);
        if (r > 0) return 0;
        if (r < 0) return r;
        r = sd_bus_process(bus, nullptr);
        if (r < 0) return r;
        if (r > 0) continue;
        const std::uint64_t jetzt = monoton_us();
        if (jetzt >= ende) return -ETIMEDOUT;
        r = sd_bus_wait(bus, ende - jetzt);
        if (r < 0) return r;
    }
}

}  // namespace

// Every call waits for its reply, so nothing is left to flush; a flush would wait on a silent peer.
void Schreiber_Timedated::Bus_schliessen::operator()(sd_bus* bus) const noexcept { sd_bus_close_unref(bus); }

Schreiber_Timedated::Schreiber_Timedated(unsigned long long zeitlimit_us) : zeitlimit_us_(zeitlimit_us) {}

Schreiber_Timedated::~Schreiber_Timedated() = default;

Schreibergebnis Schreiber_Timedated::Schreiben(const timespec& neu) {
    if (!geoeffnet_) {
        geoeffnet_ = true;
        sd_bus* bus = nullptr;
        if (sd_bus_open_system(&bus) < 0) return Schreibergebnis::kein_dienst;
        bus_.reset(bus);
        sd_bus_set_method_call_timeout(bus, zeitlimit_us_);
        if (const int r = bereit_binnen(bus, zeitlimit_us_); r < 0) {
            bus_.reset();
            if (fehlt_die_verbindung(r)) return Schreibergebnis::kein_dienst;
            stumm_ = true;
        }
    }
    // A bus that let one call run out of time would hold every later one just as long.
    if (stumm_) return Schreibergebnis::abgelehnt;
    if (!bus_) return Schreibergebnis::kein_dienst;

    const auto mikrosekunden = static_cast<std::int64_t>(neu.tv_sec) * 1'000'000 + neu.tv_nsec / 1000;
    sd_bus_error fehler = SD_BUS_ERROR_NULL;
    const int r = sd_bus_call_method(bus_.get(), dienst, "/org/freedesktop/timedate1", dienst, "SetTime", &fehler,
                                     nullptr, "xbb", mikrosekunden, 0, 0);
    Schreibergebnis ergebnis = Schreibergebnis::geschrieben;
    if (r < 0) {
        if (fehlt_der_dienst(fehler, r)) {
            ergebnis = Schreibergebnis::kein_dienst;
        } else {
            ergebnis = Schreibergebnis::abgelehnt;
            if (r == -ETIMEDOUT) stumm_ = true;
        }
    }
    sd_bus_error_free(&fehler);
    return ergebnis;
}

void Schreiber_Timedated::Beenden() { bus_.reset(); }

Schreibergebnis Schreiber_Direkt::Schreiben(const timespec& neu) {
    // Tried even without the right: the kernel then refuses, and that is the answer.
    const Zeitrecht_erhoben erhoben(recht_);
    return clock_settime(CLOCK_REALTIME, &neu) == 0 ? Schreibergebnis::geschrieben : Schreibergebnis::abgelehnt;
}

void Schreiber_Direkt::Beenden() { recht_.Ablegen(); }

}  // namespace dadaviru::posix
