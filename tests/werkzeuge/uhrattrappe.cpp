// uhrattrappe: LD_PRELOAD library that gives the program under test a virtual wall clock of its own.
// Reads return real time plus an in-process offset; writes move the offset and are logged, never reaching the kernel.
// The kernel's receive stamps on sockets (SO_TIMESTAMPNS) are readings of the wall clock too and move with it.
// With UHRATTRAPPE_GEMEINSAM naming a file, every process that names it shares one virtual clock, as
// processes share the real one: a service that sets the clock for its callers can be tested with them.
// A test may also step the clock of a running program, as NTP steps a host's: by the seconds in the
// file UHRATTRAPPE_SPRUNG, which is read again while the program runs; and say whether NTP keeps the
// clock, in the file UHRATTRAPPE_NTP.
// SPDX-License-Identifier: MIT
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/timex.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

using ClockGettime = int (*)(clockid_t, timespec*);

constexpr std::int64_t kNsProSekunde = 1'000'000'000;
// Latest second the kernel accepts for the wall clock (KTIME_SEC_MAX less 30 years of uptime).
constexpr std::int64_t kLetzteSekunde = 8'277'292'036;

std::atomic<ClockGettime> echt_clock_gettime{nullptr};
std::atomic<std::int64_t> eigener_versatz{0};
std::atomic<std::int64_t>* versatz_ns = &eigener_versatz;  // virtual minus real CLOCK_REALTIME
pthread_once_t eingerichtet = PTHREAD_ONCE_INIT;
char protokoll_datei[4096];

// The step a test asked for, on top of the offset. The file is read at most every 10 ms (of the
// monotonic clock), so a program that reads the clock in a loop is not slowed by it. A test replaces
// the file whole (writes another, then renames it), so a read never sees half a number.
constexpr std::int64_t kSprungPruefenNs = 10'000'000;
char sprung_datei[4096];
std::atomic<std::int64_t> sprung_ns{0};
std::atomic<std::int64_t> sprung_gelesen_ns{INT64_MIN / 2};

void melden(const char* text) {
    if (::write(STDERR_FILENO, text, std::strlen(text)) < 0) return;
}

int mit_fehler(int nummer) {
    errno = nummer;
    return -1;
}

// The program may declare its pointer arguments non-null; the checks below must still happen.
template <class T>
T* ungeprueft(T* zeiger) noexcept {
    __asm__ __volatile__("" : "+r"(zeiger));
    return zeiger;
}

// Real clock reading; before the real function is known, straight from the kernel.
int echt_lesen(clockid_t uhr, timespec* ts) {
    if (const ClockGettime f = echt_clock_gettime.load(std::memory_order_acquire)) return f(uhr, ts);
    return static_cast<int>(::syscall(SYS_clock_gettime, uhr, ts));
}

std::int64_t ns_von(const timespec& ts) { return std::int64_t{ts.tv_sec} * kNsProSekunde + ts.tv_nsec; }

// The shared offset lives in the file itself, mapped into every process that names it; processes of
// other users need the file to be writable for them. A new file starts at real time.
void gemeinsam_einrichten(const char* pfad) {
    const int fd = ::open(pfad, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    struct stat st {};
    void* bereich = MAP_FAILED;
    if (fd >= 0 && ::fstat(fd, &st) == 0 && (st.st_size >= 8 || ::ftruncate(fd, 8) == 0))
        bereich = ::mmap(nullptr, 8, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (fd >= 0) ::close(fd);
    if (bereich == MAP_FAILED) {
        melden("uhrattrappe: UHRATTRAPPE_GEMEINSAM cannot be used, the clock stays this process's own\n");
        return;
    }
    static_assert(std::atomic<std::int64_t>::is_always_lock_free);
    versatz_ns = static_cast<std::atomic<std::int64_t>*>(bereich);
}

// The path is copied, so that a program that changes its environment later changes nothing here.
void pfad_merken(const char* variable, char (&ziel)[4096], const char* zu_lang) {
    const char* pfad = std::getenv(variable);
    if (pfad == nullptr || *pfad == '\0') return;
    if (std::strlen(pfad) < sizeof ziel)
        std::strcpy(ziel, pfad);
    else
        melden(zu_lang);
}

void einrichten_einmal() {
    if (void* f = ::dlsym(RTLD_NEXT, "clock_gettime")) echt_clock_gettime.store(reinterpret_cast<ClockGettime>(f));

    if (const char* pfad = std::getenv("UHRATTRAPPE_GEMEINSAM"); pfad != nullptr && *pfad != '\0')
        gemeinsam_einrichten(pfad);

    pfad_merken("UHRATTRAPPE_PROTOKOLL", protokoll_datei, "uhrattrappe: UHRATTRAPPE_PROTOKOLL too long, not logging\n");
    pfad_merken("UHRATTRAPPE_SPRUNG", sprung_datei, "uhrattrappe: UHRATTRAPPE_SPRUNG too long, no steps\n");

    if (const char* start = std::getenv("UHRATTRAPPE_START"); start != nullptr && *start != '\0') {
        char* ende = nullptr;
        errno = 0;
        const long long sekunde = std::strtoll(start, &ende, 10);
        timespec echt{};
        if (errno != 0 || *ende != '\0' || sekunde < 0 || sekunde > kLetzteSekunde) {
            melden("uhrattrappe: UHRATTRAPPE_START is not a valid second count, starting at real time\n");
        } else if (echt_lesen(CLOCK_REALTIME, &echt) == 0) {
            versatz_ns->store(sekunde * kNsProSekunde - ns_von(echt));
        }
    }
}

void einrichten() {
    const int gesichert = errno;
    pthread_once(&eingerichtet, einrichten_einmal);
    errno = gesichert;
}

// Set up at load time too, so UHRATTRAPPE_START counts from the start of the process.
[[gnu::constructor]] void beim_laden() { einrichten(); }

// A missing file is no step; a file that holds no number changes nothing.
void sprung_nachsehen() {
    if (sprung_datei[0] == '\0') return;
    timespec m{};
    if (echt_lesen(CLOCK_MONOTONIC, &m) != 0) return;
    std::int64_t zuletzt = sprung_gelesen_ns.load();
    if (ns_von(m) - zuletzt < kSprungPruefenNs || !sprung_gelesen_ns.compare_exchange_strong(zuletzt, ns_von(m)))
        return;
    const int gesichert = errno;
    const int fd = ::open(sprung_datei, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        sprung_ns.store(0);
    } else {
        char text[32] = {};
        const ssize_t n = ::read(fd, text, sizeof text - 1);
        ::close(fd);
        char* ende = nullptr;
        errno = 0;
        const long long sekunden = n > 0 ? std::strtoll(text, &ende, 10) : 0;
        if (n > 0 && errno == 0 && ende != text && (*ende == '\0' || *ende == '\n') && sekunden > -kLetzteSekunde &&
            sekunden < kLetzteSekunde)
            sprung_ns.store(sekunden * kNsProSekunde);
    }
    errno = gesichert;
}

// A stamp in a received message's control data, as the virtual clock would have read then.
void stempel_verschieben(msghdr* nachricht) {
    if (nachricht == nullptr || nachricht->msg_control == nullptr) return;
    sprung_nachsehen();
    const std::int64_t versatz = versatz_ns->load() + sprung_ns.load();
    for (cmsghdr* c = CMSG_FIRSTHDR(nachricht); c != nullptr; c = CMSG_NXTHDR(nachricht, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS || c->cmsg_len < CMSG_LEN(sizeof(timespec)))
            continue;
        timespec t{};
        std::memcpy(&t, CMSG_DATA(c), sizeof t);
        const std::int64_t ns = ns_von(t) + versatz;
        t.tv_sec = static_cast<time_t>(ns / kNsProSekunde - (ns % kNsProSekunde < 0));
        t.tv_nsec = static_cast<long>(ns - std::int64_t{t.tv_sec} * kNsProSekunde);
        std::memcpy(CMSG_DATA(c), &t, sizeof t);
    }
}

int virtuell_lesen(clockid_t uhr, timespec* ts) {
    timespec echt{};
    if (echt_lesen(uhr, &echt) != 0) return -1;
    sprung_nachsehen();
    const std::chrono::nanoseconds ns(ns_von(echt) + versatz_ns->load() + sprung_ns.load());
    const auto sek = std::chrono::floor<std::chrono::seconds>(ns);
    ts->tv_sec = static_cast<time_t>(sek.count());
    ts->tv_nsec = static_cast<long>((ns - sek).count());
    return 0;
}

// "<function> <seconds>.<nanoseconds> <local time> <real seconds>.<nanoseconds> <program>": the value
// written and the real time of the write, whose difference is the clock's error, and who wrote it.
// One write per line so nothing waits.
void protokollieren(const char* funktion, std::int64_t sek, long ns, const timespec& echt) {
    if (protokoll_datei[0] == '\0') return;
    const int gesichert = errno;
    char ortszeit[64] = "?";
    const time_t t = static_cast<time_t>(sek);
    tm zerlegt{};
    if (localtime_r(&t, &zerlegt) != nullptr) std::strftime(ortszeit, sizeof ortszeit, "%Y-%m-%d %H:%M:%S", &zerlegt);
    char zeile[512];
    const int laenge =
        std::snprintf(zeile, sizeof zeile, "%s %lld.%09ld %s %lld.%09ld %s\n", funktion, static_cast<long long>(sek),
                      ns, ortszeit, static_cast<long long>(echt.tv_sec), echt.tv_nsec, program_invocation_short_name);
    const int fd = ::open(protokoll_datei, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        if (laenge > 0 && ::write(fd, zeile, static_cast<std::size_t>(laenge)) < 0)
            melden("uhrattrappe: log write failed\n");
        ::close(fd);
    }
    errno = gesichert;
}

int virtuell_setzen(const char* funktion, std::int64_t sek, long ns) {
    if (sek < 0 || sek > kLetzteSekunde) return mit_fehler(EINVAL);
    timespec echt{};
    if (echt_lesen(CLOCK_REALTIME, &echt) != 0) return -1;
    versatz_ns->store(sek * kNsProSekunde + ns - ns_von(echt) - sprung_ns.load());
    protokollieren(funktion, sek, ns, echt);
    return 0;
}

// The NTP state a test asks for: the file UHRATTRAPPE_NTP beginning with "unsynchron" is a clock no
// one keeps; no such file, or anything else in it, a clock that NTP keeps within a millisecond. The file
// is read at each call, so a test can change the state of a running program.
int ntp_lesen(timex* t) {
    bool unsynchron = false;
    if (const char* datei = std::getenv("UHRATTRAPPE_NTP"); datei != nullptr) {
        const int fd = ::open(datei, O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            char text[10] = {};
            unsynchron = ::read(fd, text, sizeof text) == sizeof text && std::memcmp(text, "unsynchron", 10) == 0;
            ::close(fd);
        }
    }
    t->status = unsynchron ? STA_UNSYNC : STA_PLL;
    t->maxerror = t->esterror = unsynchron ? 16'000'000 : 1'000;
    return unsynchron ? TIME_ERROR : TIME_OK;
}

}  // namespace

extern "C" {

int clock_gettime(clockid_t uhr, timespec* ts) noexcept {
    einrichten();
    if (uhr != CLOCK_REALTIME && uhr != CLOCK_REALTIME_COARSE) return echt_lesen(uhr, ts);
    if (ungeprueft(ts) == nullptr) return mit_fehler(EFAULT);
    return virtuell_lesen(uhr, ts);
}

int gettimeofday(timeval* __restrict tv, void* __restrict tz) noexcept {
    einrichten();
    if (tz != nullptr) std::memset(tz, 0, sizeof(struct timezone));
    if (ungeprueft(tv) == nullptr) return 0;
    timespec ts{};
    if (virtuell_lesen(CLOCK_REALTIME, &ts) != 0) return -1;
    tv->tv_sec = ts.tv_sec;
    tv->tv_usec = ts.tv_nsec / 1000;
    return 0;
}

time_t time(time_t* ergebnis) noexcept {
    einrichten();
    timespec ts{};
    if (virtuell_lesen(CLOCK_REALTIME, &ts) != 0) return static_cast<time_t>(-1);
    if (ergebnis != nullptr) *ergebnis = ts.tv_sec;
    return ts.tv_sec;
}

int clock_settime(clockid_t uhr, const timespec* ts) noexcept {
    einrichten();
    if (uhr != CLOCK_REALTIME) return mit_fehler(EINVAL);
    if (ungeprueft(ts) == nullptr) return mit_fehler(EFAULT);
    if (ts->tv_nsec < 0 || ts->tv_nsec >= kNsProSekunde) return mit_fehler(EINVAL);
    return virtuell_setzen("clock_settime", ts->tv_sec, ts->tv_nsec);
}

int settimeofday(const timeval* tv, const struct timezone*) noexcept {
    einrichten();
    if (tv == nullptr) return 0;  // only a time zone: nothing to keep
    if (tv->tv_usec < 0 || tv->tv_usec >= 1'000'000) return mit_fehler(EINVAL);
    return virtuell_setzen("settimeofday", tv->tv_sec, static_cast<long>(tv->tv_usec) * 1000);
}

// Slewing and tuning the clock are simply refused. Reading its NTP state (modes 0) changes nothing
// and is answered with the state the test asks for, so no test depends on this machine's NTP state.
int clock_adjtime(clockid_t uhr, timex* t) noexcept {
    if (uhr == CLOCK_REALTIME && ungeprueft(t) != nullptr && t->modes == 0) return ntp_lesen(t);
    return mit_fehler(EPERM);
}
int adjtimex(timex* t) noexcept { return clock_adjtime(CLOCK_REALTIME, t); }
int ntp_adjtime(timex* t) noexcept { return clock_adjtime(CLOCK_REALTIME, t); }
int adjtime(const timeval*, timeval*) noexcept { return mit_fehler(EPERM); }

ssize_t recvmsg(int fd, msghdr* nachricht, int flags) {
    using Recvmsg = ssize_t (*)(int, msghdr*, int);
    static const auto echt = reinterpret_cast<Recvmsg>(::dlsym(RTLD_NEXT, "recvmsg"));
    einrichten();
    if (echt == nullptr) return mit_fehler(ENOSYS);
    const ssize_t n = echt(fd, nachricht, flags);
    if (n >= 0) stempel_verschieben(nachricht);
    return n;
}

}  // extern "C"
