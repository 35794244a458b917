// uhrattrappe_probe: runs under the clock interposer and checks that clock writes stay inside the process.
// It refuses to run when a clock write could reach the machine's real clock.
// SPDX-License-Identifier: MIT
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/timex.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {

int fehler = 0;

void pruefen(bool ok, const char* was) {
    if (!ok) {
        std::fprintf(stderr, "FAIL: %s\n", was);
        ++fehler;
    }
}

void abgelehnt(int ergebnis, int erwartet, const char* was) {
    const int err = errno;
    if (ergebnis != -1 || err != erwartet) {
        std::fprintf(stderr, "FAIL: %s: returned %d, errno %d (%s), expected -1 with errno %d\n", was, ergebnis, err,
                     std::strerror(err), erwartet);
        ++fehler;
    }
}

bool darf_uhr_stellen() {
    std::ifstream status("/proc/self/status");
    for (std::string zeile; std::getline(status, zeile);)
        if (zeile.rfind("CapEff:", 0) == 0)
            return (std::strtoull(zeile.c_str() + 7, nullptr, 16) >> 25) & 1;  // CAP_SYS_TIME
    return true;                                                               // unknown: assume the worst
}

bool attrappe_geladen() {
    Dl_info info{};
    void* f = dlsym(RTLD_DEFAULT, "clock_settime");
    return f != nullptr && dladdr(f, &info) != 0 && info.dli_fname != nullptr &&
           std::strstr(info.dli_fname, "uhrattrappe") != nullptr;
}

double sekunden(const timespec& ts) { return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9; }

// Straight from the kernel, past the interposer.
double kern(clockid_t uhr) {
    timespec ts{};
    syscall(SYS_clock_gettime, uhr, &ts);
    return sekunden(ts);
}

double virtuell(clockid_t uhr = CLOCK_REALTIME) {
    timespec ts{};
    if (clock_gettime(uhr, &ts) != 0) return -1;
    return sekunden(ts);
}

bool nahe(double a, double b, double toleranz) { return std::fabs(a - b) <= toleranz; }

// The stamp the kernel puts on a datagram sent to itself on loopback, or -1.
double empfangsstempel() {
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in adresse{};
    adresse.sin_family = AF_INET;
    adresse.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t laenge = sizeof adresse;
    auto* a = reinterpret_cast<sockaddr*>(&adresse);
    const int an = 1;
    char daten = 'x';
    alignas(cmsghdr) char steuer[CMSG_SPACE(sizeof(timespec))];
    iovec teil{&daten, 1};
    msghdr nachricht{};
    nachricht.msg_iov = &teil;
    nachricht.msg_iovlen = 1;
    nachricht.msg_control = steuer;
    nachricht.msg_controllen = sizeof steuer;
    double stempel = -1;
    if (s >= 0 && setsockopt(s, SOL_SOCKET, SO_TIMESTAMPNS, &an, sizeof an) == 0 && bind(s, a, laenge) == 0 &&
        getsockname(s, a, &laenge) == 0 && sendto(s, &daten, 1, 0, a, laenge) == 1 && recvmsg(s, &nachricht, 0) == 1)
        for (cmsghdr* c = CMSG_FIRSTHDR(&nachricht); c != nullptr; c = CMSG_NXTHDR(&nachricht, c))
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec ts{};
                std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                stempel = sekunden(ts);
            }
    if (s >= 0) close(s);
    return stempel;
}

// Every way of reading the wall clock must show the same virtual time.
void leser_einig(double soll, const char* wann) {
    std::fprintf(stderr, "  readers %s\n", wann);
    timeval tv{};
    pruefen(gettimeofday(&tv, nullptr) == 0 && nahe(tv.tv_sec + tv.tv_usec / 1e6, soll, 1), "gettimeofday");
    pruefen(nahe(static_cast<double>(time(nullptr)), soll, 1.5), "time()");
    pruefen(nahe(virtuell(CLOCK_REALTIME), soll, 1), "CLOCK_REALTIME");
    pruefen(nahe(virtuell(CLOCK_REALTIME_COARSE), soll, 1), "CLOCK_REALTIME_COARSE");
    const auto chrono = std::chrono::system_clock::now().time_since_epoch();
    pruefen(nahe(std::chrono::duration<double>(chrono).count(), soll, 1), "std::chrono::system_clock");
    pruefen(nahe(empfangsstempel(), soll, 1), "a socket's receive stamp (SO_TIMESTAMPNS)");
}

}  // namespace

int main() {
    if (darf_uhr_stellen()) {
        std::fprintf(stderr, "uhrattrappe_probe: refusing to run with CAP_SYS_TIME in the effective set\n");
        return 2;
    }
    if (!attrappe_geladen()) {
        std::fprintf(stderr, "uhrattrappe_probe: libuhrattrappe.so is not preloaded\n");
        return 2;
    }
    const double echt_anfang = kern(CLOCK_REALTIME);

    // Start: at UHRATTRAPPE_START if given, otherwise at real time.
    const char* start = std::getenv("UHRATTRAPPE_START");
    leser_einig(start != nullptr ? std::atof(start) : echt_anfang, "at start");
    pruefen(nahe(virtuell(CLOCK_MONOTONIC), kern(CLOCK_MONOTONIC), 0.1), "CLOCK_MONOTONIC passes through");
    pruefen(nahe(virtuell(CLOCK_BOOTTIME), kern(CLOCK_BOOTTIME), 0.1), "CLOCK_BOOTTIME passes through");

    // Writes move the virtual clock, which then keeps running.
    const timespec winter{1796644800, 0};
    pruefen(clock_settime(CLOCK_REALTIME, &winter) == 0, "clock_settime accepted");
    leser_einig(1796644800, "after clock_settime");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double gelaufen = virtuell() - 1796644800;
    pruefen(gelaufen >= 0.29 && gelaufen < 1.5, "virtual clock keeps running");

    const timespec sommer{1782900000, 5000};
    pruefen(clock_settime(CLOCK_REALTIME, &sommer) == 0, "clock_settime with nanoseconds accepted");
    pruefen(nahe(virtuell(), 1782900000.000005, 0.5), "clock_settime with nanoseconds");

    const timeval tv{1784455200, 250000};
    pruefen(settimeofday(&tv, nullptr) == 0, "settimeofday accepted");
    leser_einig(1784455200.25, "after settimeofday");
    const struct timezone zone = {-60, 0};
    pruefen(settimeofday(nullptr, &zone) == 0, "settimeofday with only a time zone");

    // Refused, like the kernel refuses them; none of these may move the clock or reach the log.
    const timespec gueltig{1800000000, 0};
    const timespec ns_negativ{1800000000, -1}, ns_zu_gross{1800000000, 1'000'000'000}, sek_negativ{-1, 0};
    abgelehnt(clock_settime(CLOCK_REALTIME, &ns_negativ), EINVAL, "clock_settime tv_nsec -1");
    abgelehnt(clock_settime(CLOCK_REALTIME, &ns_zu_gross), EINVAL, "clock_settime tv_nsec 1e9");
    abgelehnt(clock_settime(CLOCK_REALTIME, &sek_negativ), EINVAL, "clock_settime tv_sec -1");
    const timespec* volatile kein_ts = nullptr;
    abgelehnt(clock_settime(CLOCK_REALTIME, kein_ts), EFAULT, "clock_settime NULL");
    for (const clockid_t uhr : {CLOCK_MONOTONIC, CLOCK_BOOTTIME, CLOCK_TAI, CLOCK_REALTIME_COARSE,
                                CLOCK_PROCESS_CPUTIME_ID, static_cast<clockid_t>(12345)}) {
        const std::string was = "clock_settime on clock " + std::to_string(uhr);
        abgelehnt(clock_settime(uhr, &gueltig), EINVAL, was.c_str());
    }
    const timeval us_zu_gross{1800000000, 1'000'000}, us_negativ{1800000000, -1}, tv_sek_negativ{-5, 0};
    abgelehnt(settimeofday(&us_zu_gross, nullptr), EINVAL, "settimeofday tv_usec 1e6");
    abgelehnt(settimeofday(&us_negativ, nullptr), EINVAL, "settimeofday tv_usec -1");
    abgelehnt(settimeofday(&tv_sek_negativ, nullptr), EINVAL, "settimeofday tv_sec -5");
    timex tx{};
    pruefen(adjtimex(&tx) == TIME_OK && (tx.status & STA_UNSYNC) == 0, "reading the NTP state");
    tx.modes = ADJ_OFFSET;
    abgelehnt(adjtimex(&tx), EPERM, "adjtimex");
    abgelehnt(ntp_adjtime(&tx), EPERM, "ntp_adjtime");
    abgelehnt(clock_adjtime(CLOCK_REALTIME, &tx), EPERM, "clock_adjtime");
    const timeval schritt{1, 0};
    abgelehnt(adjtime(&schritt, nullptr), EPERM, "adjtime");
    leser_einig(1784455200.25, "after refused writes");

    // The machine's clock never moved, and the monotonic clock knows nothing of the jumps.
    pruefen(nahe(kern(CLOCK_REALTIME), echt_anfang, 5), "real clock untouched");
    pruefen(nahe(virtuell(CLOCK_MONOTONIC), kern(CLOCK_MONOTONIC), 0.1), "CLOCK_MONOTONIC still passes through");

    std::fprintf(stderr, "uhrattrappe_probe: %s\n", fehler == 0 ? "ok" : "FAILED");
    return fehler == 0 ? 0 : 1;
}
