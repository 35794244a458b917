// Sets the clock through systemd-timedated (sd-bus), or by running the helper uhrsteller.
// SPDX-License-Identifier: MIT
#include "schreiber.h"

#include <spawn.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "../../uhrsteller/aufruf.h"
#include "../uhrbereich.h"

namespace dadaviru::posix {

namespace {

constexpr const char* dienst = "org.freedesktop.timedate1";

// No bus at all: nothing listens where its socket should be. Any other failure (too many open
// files, no memory, a refused handshake) says nothing about timedated, and going round it then
// would let the failure decide what timedated is there to decide.
bool fehlt_der_bus(int r) { return r == -ECONNREFUSED || r == -ENOENT; }

// No timedated on the bus. Anything else it or the bus answers (not authorised, automatic
// synchronisation on, a time-out) is a decision that stands.
bool fehlt_der_dienst(const sd_bus_error& fehler) {
    return sd_bus_error_has_names(&fehler, SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER);
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

Schreibergebnis Schreiber_Timedated::verbinden() {
    sd_bus* bus = nullptr;
    if (const int r = sd_bus_open_system(&bus); r < 0)
        return fehlt_der_bus(r) ? Schreibergebnis::kein_dienst : Schreibergebnis::abgelehnt;
    bus_.reset(bus);
    sd_bus_set_method_call_timeout(bus, zeitlimit_us_);
    if (const int r = bereit_binnen(bus, zeitlimit_us_); r < 0) {
        bus_.reset();
        return fehlt_der_bus(r) ? Schreibergebnis::kein_dienst : Schreibergebnis::abgelehnt;
    }
    return Schreibergebnis::geschrieben;
}

Schreibergebnis Schreiber_Timedated::Schreiben(std::chrono::nanoseconds schritt) {
    if (!geoeffnet_) {
        geoeffnet_ = true;
        if (const auto ergebnis = verbinden(); ergebnis != Schreibergebnis::geschrieben) ohne_bus_ = ergebnis;
    }
    if (ohne_bus_) return *ohne_bus_;

    const auto mikrosekunden = std::chrono::round<std::chrono::microseconds>(schritt).count();
    sd_bus_error fehler = SD_BUS_ERROR_NULL;
    const int r = sd_bus_call_method(bus_.get(), dienst, "/org/freedesktop/timedate1", dienst, "SetTime", &fehler,
                                     nullptr, "xbb", static_cast<std::int64_t>(mikrosekunden), 1, 0);
    Schreibergebnis ergebnis = Schreibergebnis::geschrieben;
    if (r < 0) {
        ergebnis = fehlt_der_dienst(fehler) ? Schreibergebnis::kein_dienst : Schreibergebnis::abgelehnt;
        // A bus that let one call run out of time would hold every later one just as long.
        if (r == -ETIMEDOUT) ohne_bus_ = Schreibergebnis::abgelehnt;
    }
    sd_bus_error_free(&fehler);
    return ergebnis;
}

void Schreiber_Timedated::Beenden() { bus_.reset(); }

Schreiber_Uhrsteller::Schreiber_Uhrsteller(std::string pfad, std::vector<std::string> weitergereicht)
    : pfad_(std::move(pfad)), weitergereicht_(std::move(weitergereicht)) {}

Schreibergebnis Schreiber_Uhrsteller::Schreiben(std::chrono::nanoseconds schritt) {
    // The instant and the monotonic reading it belongs to, read together.
    timespec jetzt{}, bezug{};
    if (clock_gettime(CLOCK_REALTIME, &jetzt) != 0 || clock_gettime(CLOCK_MONOTONIC, &bezug) != 0)
        return Schreibergebnis::abgelehnt;
    // Seconds and nanoseconds apart: the clock and the step each fit in nanoseconds, their sum need not.
    const auto ganze = std::chrono::floor<std::chrono::seconds>(schritt);
    timespec neu{};
    neu.tv_sec = jetzt.tv_sec + static_cast<std::time_t>(ganze.count());
    neu.tv_nsec = jetzt.tv_nsec + static_cast<long>((schritt - ganze).count());
    if (neu.tv_nsec >= 1'000'000'000) {
        ++neu.tv_sec;
        neu.tv_nsec -= 1'000'000'000;
    }
    if (!Uhr_nimmt(neu.tv_sec)) return Schreibergebnis::abgelehnt;
    std::string zeitpunkt = Zeitpunkt_als_text(neu), monoton = Zeitpunkt_als_text(bezug);

    std::vector<std::string> umgebung;
    for (const auto& name : weitergereicht_)
        if (const char* wert = std::getenv(name.c_str())) umgebung.push_back(name + "=" + wert);
    std::vector<char*> envp;
    for (auto& eintrag : umgebung)
        envp.push_back(eintrag.data());
    envp.push_back(nullptr);
    char* argv[] = {pfad_.data(), zeitpunkt.data(), monoton.data(), nullptr};

    // The helper inherits none of the program's descriptors: not its sockets, not the display.
    posix_spawn_file_actions_t aktionen;
    if (posix_spawn_file_actions_init(&aktionen) != 0) return Schreibergebnis::abgelehnt;
    pid_t pid = 0;
    const int gestartet = posix_spawn_file_actions_addclosefrom_np(&aktionen, 3) == 0
                              ? posix_spawn(&pid, pfad_.c_str(), &aktionen, nullptr, argv, envp.data())
                              : -1;
    posix_spawn_file_actions_destroy(&aktionen);
    if (gestartet != 0) return Schreibergebnis::abgelehnt;

    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return Schreibergebnis::abgelehnt;
    return WIFEXITED(status) && WEXITSTATUS(status) == gesetzt ? Schreibergebnis::geschrieben
                                                               : Schreibergebnis::abgelehnt;
}

}  // namespace dadaviru::posix
