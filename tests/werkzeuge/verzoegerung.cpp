// verzoegerung: a delay line between two network namespaces that a test made, so that a client and a
// service on this one machine talk across a path with a real round trip, as over the internet.
// SPDX-License-Identifier: MIT
//
// Each namespace gets a TUN device; every IP packet read from one is written to the other after the
// delay of its direction, plus an optional jitter, never overtaking an earlier packet of the same path.
// TCP runs end to end, so both kernels measure the path's real round trip. This kernel has no netem,
// hence user space.
//
//   verzoegerung NETZ_A NETZ_B --hin MS --zurueck MS [--schwankung MS] [--je-adresse MS] [--dauer S]
//
// NETZ_A and NETZ_B are names of `ip netns add`. A gets 198.18.0.1, B 198.18.0.2 (the range set aside
// for benchmarks, so nothing real is ever addressed), each with the other as its peer. "hin" is A to
// B. The line ends after --dauer seconds (default 600) or at SIGTERM or SIGINT; its devices go with it.
//
// --je-adresse MS gives A the clients' block 198.19.0.0/20 as well (any of its 4096 addresses can be
// bound there; B routes it back through the line), and each address of it a path of its own: on top
// of --hin and --zurueck, each way of the address 198.19.0.0 + k is delayed by
//     MS * frac(1/2 + k * 0.6180339887...)        (the golden ratio's fraction)
// so any run of consecutive addresses spreads evenly over 0 to MS, and 198.19.0.0 itself lies in the
// middle, MS/2. 198.18.0.1 keeps the plain delay. Packets of one address keep their order; packets
// of different addresses may overtake each other, as on different paths.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

using Zeit = std::chrono::steady_clock;
using std::chrono::nanoseconds;

constexpr const char* kGeraet = "leitung0";
constexpr const char* kAdresseA = "198.18.0.1";
constexpr const char* kAdresseB = "198.18.0.2";
constexpr std::uint32_t kKlientenblock = 0xC6130000;  // 198.19.0.0
constexpr int kKlientenPraefix = 20;
constexpr std::uint32_t kKlienten = 1u << (32 - kKlientenPraefix);
// Bounds, so a test that forgets the line cannot keep it for ever or fill the memory.
constexpr int kHoechstDauerS = 3600;
constexpr int kHoechstVerzoegerungMs = 10'000;
constexpr std::size_t kHoechstWartende = 100'000;
constexpr std::size_t kPaketHoechstens = 65'536;
constexpr int kLeseStapel = 8;

volatile std::sig_atomic_t beenden = 0;
extern "C" void bei_signal(int) { beenden = 1; }

[[noreturn]] void scheitern(const std::string& was) {
    std::fprintf(stderr, "verzoegerung: %s: %s\n", was.c_str(), std::strerror(errno));
    std::exit(1);
}

class Dateigriff {
public:
    explicit Dateigriff(int fd) : fd_(fd) {}
    Dateigriff(const Dateigriff&) = delete;
    Dateigriff& operator=(const Dateigriff&) = delete;
    ~Dateigriff() {
        if (fd_ >= 0) ::close(fd_);
    }
    int fd() const { return fd_; }

private:
    int fd_;
};

void schnittstelle_setzen(int sock, const char* name, unsigned long anfrage, const char* adresse) {
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, name, IFNAMSIZ - 1);
    auto* sin = reinterpret_cast<sockaddr_in*>(&ifr.ifr_addr);
    sin->sin_family = AF_INET;
    if (::inet_pton(AF_INET, adresse, &sin->sin_addr) != 1) scheitern(std::string("address ") + adresse);
    if (::ioctl(sock, anfrage, &ifr) < 0) scheitern(std::string("address of ") + name);
}

void hochfahren(int sock, const char* name) {
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, name, IFNAMSIZ - 1);
    if (::ioctl(sock, SIOCGIFFLAGS, &ifr) < 0) scheitern(std::string("flags of ") + name);
    ifr.ifr_flags |= IFF_UP | IFF_RUNNING;
    if (::ioctl(sock, SIOCSIFFLAGS, &ifr) < 0) scheitern(std::string("bringing up ") + name);
}

// Opens the TUN device inside the namespace NETZ and addresses it; the descriptor stays bound to the
// device there after this process has gone back to its own namespace.
int geraet_oeffnen(const std::string& netz, const char* eigene, const char* gegenueber, int zuhause) {
    Dateigriff ns(::open(("/run/netns/" + netz).c_str(), O_RDONLY | O_CLOEXEC));
    if (ns.fd() < 0) scheitern("namespace " + netz);
    if (::setns(ns.fd(), CLONE_NEWNET) < 0) scheitern("entering " + netz);
    int tun = ::open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (tun < 0) scheitern("/dev/net/tun");
    ifreq ifr{};
    ifr.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::strncpy(ifr.ifr_name, kGeraet, IFNAMSIZ - 1);
    if (::ioctl(tun, TUNSETIFF, &ifr) < 0) scheitern("TUN device in " + netz);
    Dateigriff sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (sock.fd() < 0) scheitern("socket");
    schnittstelle_setzen(sock.fd(), kGeraet, SIOCSIFADDR, eigene);
    schnittstelle_setzen(sock.fd(), kGeraet, SIOCSIFDSTADDR, gegenueber);
    hochfahren(sock.fd(), kGeraet);
    hochfahren(sock.fd(), "lo");  // a service there may also listen on loopback
    if (::setns(zuhause, CLONE_NEWNET) < 0) scheitern("returning to the own namespace");
    return tun;
}

// Runs `ip` with these words and fails unless it succeeds: routes are simpler said to it than to netlink.
void ip(std::vector<std::string> worte) {
    worte.insert(worte.begin(), "ip");
    std::vector<char*> argv;
    for (auto& w : worte)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t kind = ::fork();
    if (kind < 0) scheitern("fork");
    if (kind == 0) {
        ::execvp("ip", argv.data());
        _exit(127);
    }
    int status = 0;
    if (::waitpid(kind, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "verzoegerung: ip %s %s ... failed\n", worte[1].c_str(), worte[2].c_str());
        std::exit(1);
    }
}

// The extra delay of each way of one address, as the header describes; none outside the clients' block.
nanoseconds zusatz(std::uint32_t adresse, nanoseconds hoechstens) {
    const std::uint32_t k = adresse - kKlientenblock;
    if (k >= kKlienten || hoechstens.count() == 0) return nanoseconds(0);
    // frac(1/2 + k / phi) in 64-bit fixed point; the product's wrap-around is the fraction.
    const std::uint64_t bruch = (std::uint64_t{1} << 63) + k * std::uint64_t{0x9E3779B97F4A7C15};
    return nanoseconds(static_cast<long long>((static_cast<unsigned __int128>(bruch) * hoechstens.count()) >> 64));
}

struct Paket {
    std::uint32_t pfad;
    std::vector<unsigned char> daten;
};

// One direction: packets wait in order of when they are due, those due at once in arrival order. A
// packet is due no earlier than the one before it on its path, so jitter stretches the gaps but never
// reorders a path. Without paths of their own all packets share path 0, and the order is arrival's.
class Richtung {
public:
    // `klientenadresse`: where in the IPv4 header the client's address lies (12 source, 16 destination).
    Richtung(int von, int nach, nanoseconds verzoegerung, nanoseconds schwankung, unsigned saat, nanoseconds je_adresse,
             int klientenadresse)
        : von_(von),
          nach_(nach),
          verzoegerung_(verzoegerung),
          schwankung_(0, schwankung.count()),
          zufall_(saat),
          je_adresse_(je_adresse),
          klientenadresse_(klientenadresse) {}

    // A few packets at a time: a burst of one direction must not hold back what the other has due.
    void lesen() {
        unsigned char puffer[kPaketHoechstens];
        for (int i = 0; i < kLeseStapel; ++i) {
            ssize_t n = ::read(von_, puffer, sizeof puffer);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
            if (n < 0) scheitern("reading a packet");
            auto ankunft = Zeit::now();
            if (wartend_.size() >= kHoechstWartende) {
                ++verworfen_;
                continue;
            }
            std::uint32_t pfad = 0;
            if (je_adresse_.count() > 0 && n >= 20 && (puffer[0] >> 4) == 4) {
                std::memcpy(&pfad, puffer + klientenadresse_, sizeof pfad);
                pfad = ntohl(pfad);
            }
            auto faellig = ankunft + verzoegerung_ + zusatz(pfad, je_adresse_) + nanoseconds(schwankung_(zufall_));
            auto [letzter, neu] = letzte_.try_emplace(pfad, faellig);
            if (!neu) letzter->second = faellig = std::max(faellig, letzter->second);
            wartend_.emplace(std::pair{faellig, folge_++}, Paket{pfad, std::vector<unsigned char>(puffer, puffer + n)});
        }
    }

    void ausliefern(Zeit::time_point jetzt) {
        while (!wartend_.empty() && wartend_.begin()->first.first <= jetzt) {
            auto eintrag = wartend_.extract(wartend_.begin());
            const auto& p = eintrag.mapped();
            // A full queue on the far side drops the packet, as a router would.
            if (::write(nach_, p.daten.data(), p.daten.size()) < 0 && errno != EAGAIN && errno != ENOBUFS) {
                scheitern("writing a packet");
            }
            // A path's entry lives while a packet of it waits, so there are never more than packets.
            if (auto letzter = letzte_.find(p.pfad); letzter != letzte_.end() && letzter->second <= eintrag.key().first)
                letzte_.erase(letzter);
        }
    }

    Zeit::time_point naechste() const {
        return wartend_.empty() ? Zeit::time_point::max() : wartend_.begin()->first.first;
    }
    unsigned long verworfen() const { return verworfen_; }

private:
    int von_, nach_;
    nanoseconds verzoegerung_;
    std::uniform_int_distribution<long long> schwankung_;
    std::mt19937_64 zufall_;
    nanoseconds je_adresse_;
    int klientenadresse_;
    std::map<std::pair<Zeit::time_point, std::uint64_t>, Paket> wartend_;
    std::unordered_map<std::uint32_t, Zeit::time_point> letzte_;  // each waiting path's last due time
    std::uint64_t folge_ = 0;
    unsigned long verworfen_ = 0;
};

int zahl(std::string_view text, int kleinste, int groesste, const char* was) {
    char* ende = nullptr;
    std::string s(text);
    errno = 0;
    long wert = std::strtol(s.c_str(), &ende, 10);
    if (s.empty() || *ende != '\0' || errno != 0 || wert < kleinste || wert > groesste) {
        std::fprintf(stderr, "verzoegerung: %s must be a whole number from %d to %d\n", was, kleinste, groesste);
        std::exit(2);
    }
    return static_cast<int>(wert);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> netze;
    int hin_ms = -1, zurueck_ms = -1, schwankung_ms = 0, je_adresse_ms = 0, dauer_s = 600;
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        auto wert = [&](const char* was) -> std::string_view {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "verzoegerung: %s needs a value\n", was);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--hin") {
            hin_ms = zahl(wert("--hin"), 0, kHoechstVerzoegerungMs, "--hin");
        } else if (a == "--zurueck") {
            zurueck_ms = zahl(wert("--zurueck"), 0, kHoechstVerzoegerungMs, "--zurueck");
        } else if (a == "--schwankung") {
            schwankung_ms = zahl(wert("--schwankung"), 0, kHoechstVerzoegerungMs, "--schwankung");
        } else if (a == "--je-adresse") {
            je_adresse_ms = zahl(wert("--je-adresse"), 1, kHoechstVerzoegerungMs, "--je-adresse");
        } else if (a == "--dauer") {
            dauer_s = zahl(wert("--dauer"), 1, kHoechstDauerS, "--dauer");
        } else if (!a.empty() && a[0] != '-') {
            netze.emplace_back(a);
        } else {
            std::fprintf(stderr, "verzoegerung: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (netze.size() != 2 || hin_ms < 0 || zurueck_ms < 0) {
        std::fprintf(stderr,
                     "usage: verzoegerung NETZ_A NETZ_B --hin MS --zurueck MS [--schwankung MS] [--je-adresse MS] "
                     "[--dauer S]\n");
        return 2;
    }

    // The kernel's default slack of 50 us on each wake-up would blur a delay measured in microseconds.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    std::signal(SIGTERM, bei_signal);
    std::signal(SIGINT, bei_signal);

    Dateigriff zuhause(::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC));
    if (zuhause.fd() < 0) scheitern("own namespace");
    Dateigriff a(geraet_oeffnen(netze[0], kAdresseA, kAdresseB, zuhause.fd()));
    Dateigriff b(geraet_oeffnen(netze[1], kAdresseB, kAdresseA, zuhause.fd()));

    if (je_adresse_ms > 0) {
        // In A every address of the block is local without 4096 addresses on the device; B sends the
        // block's answers into the line.
        const std::string block = "198.19.0.0/" + std::to_string(kKlientenPraefix);
        ip({"-n", netze[0], "route", "replace", "local", block, "dev", "lo"});
        ip({"-n", netze[1], "route", "replace", block, "dev", kGeraet});
    }

    using std::chrono::milliseconds;
    std::random_device quelle;
    Richtung hin(a.fd(), b.fd(), milliseconds(hin_ms), milliseconds(schwankung_ms), quelle(),
                 milliseconds(je_adresse_ms), 12);
    Richtung zurueck(b.fd(), a.fd(), milliseconds(zurueck_ms), milliseconds(schwankung_ms), quelle(),
                     milliseconds(je_adresse_ms), 16);

    std::printf("ready: %s %s, %s %s, %d ms there, %d ms back, jitter up to %d ms, per client address up to %d ms\n",
                netze[0].c_str(), kAdresseA, netze[1].c_str(), kAdresseB, hin_ms, zurueck_ms, schwankung_ms,
                je_adresse_ms);
    std::fflush(stdout);

    const auto schluss = Zeit::now() + std::chrono::seconds(dauer_s);
    pollfd fds[2] = {{a.fd(), POLLIN, 0}, {b.fd(), POLLIN, 0}};
    while (!beenden) {
        auto jetzt = Zeit::now();
        if (jetzt >= schluss) break;
        hin.ausliefern(jetzt);
        zurueck.ausliefern(jetzt);
        const auto weckzeit = std::min({schluss, hin.naechste(), zurueck.naechste()});
        const auto warten = std::max(std::chrono::duration_cast<nanoseconds>(weckzeit - jetzt), nanoseconds(0));
        timespec ts{static_cast<time_t>(warten.count() / 1'000'000'000),
                    static_cast<long>(warten.count() % 1'000'000'000)};
        if (::ppoll(fds, 2, &ts, nullptr) < 0) {
            if (errno == EINTR) continue;
            scheitern("waiting for packets");
        }
        if (fds[0].revents & POLLIN) hin.lesen();
        if (fds[1].revents & POLLIN) zurueck.lesen();
    }
    if (const unsigned long verworfen = hin.verworfen() + zurueck.verworfen(); verworfen > 0)
        std::fprintf(stderr, "verzoegerung: %lu packets dropped at a full queue\n", verworfen);
    return 0;
}
