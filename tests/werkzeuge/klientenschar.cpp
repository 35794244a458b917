// klientenschar: many kept-alive clients of the time service, each on a round trip of its own through
// the delay line, and beside them an honest client that measures when its answers arrive.
// SPDX-License-Identifier: MIT
//
//   klientenschar ZIEL PORT N SEKUNDEN [--gemeinsam] [--dienst PID] [--ehrlich-im-netz NAME]
//
// Runs in the near namespace of a delay line started with --je-adresse (verzoegerung.cpp). Connection i
// comes from 198.19.0.0 + i, so each has a path of its own; with --gemeinsam all come from 198.19.0.0,
// whose path lies in the middle of the others'. Each asks again as soon as its answer arrived, so the
// service always holds one of its requests. Once every connection has had an answer, SEKUNDEN are
// measured: the honest client, from 198.18.0.1 (the line's plain delay), opens a fresh connection, asks
// once with Connection: close, and again when the answer came, each time taking the answer's arrival
// (the kernel's stamp) minus the start of the second its Date names. At the end one line:
//   answers=A closed=C honest=H median_ms=M worst_ms=W [cpu_ms=P]
// A: the load connections' answers in the window; C: load connections lost (closed by the service or
// unreadable); M and W: the median of the honest arrivals and the one farthest from the second, in ms
// after it (negative: early); P: the CPU time the process PID (--dienst) spent in the window.
// --ehrlich-im-netz puts the honest client into the namespace NAME, the service's, beside it: the load
// answers all arrive as their second begins at this one host through this one line, which takes a
// while to hand over so many at once, and in that crowd an answer can wait a millisecond however
// well it was sent. Across the internet, the honest client would be a host of its own.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Zeit = std::chrono::steady_clock;

constexpr std::uint32_t kKlientenblock = 0xC6130000;  // 198.19.0.0, the delay line's clients' block
constexpr std::uint32_t kEhrlich = 0xC6120001;        // 198.18.0.1
constexpr long kHoechstVerbindungen = 4096;           // the block's size
constexpr long kHoechstSekunden = 3600;
// However slowly the connections come up, the tool ends.
constexpr auto kAnlauf = std::chrono::seconds(60);
constexpr std::size_t kHoechstGepuffert = 65'536;
constexpr char kAnfrage[] = "GET /zeit.php HTTP/1.1\r\nHost: zeit\r\n\r\n";
constexpr char kEhrlicheAnfrage[] = "GET /zeit.php HTTP/1.1\r\nHost: zeit\r\nConnection: close\r\n\r\n";

[[noreturn]] void scheitern(const char* was) {
    std::fprintf(stderr, "klientenschar: %s: %s\n", was, std::strerror(errno));
    std::exit(1);
}

long zahl(const char* text, long kleinste, long groesste, const char* was) {
    long wert = 0;
    const std::string_view s = text;
    const auto [rest, fehler] = std::from_chars(s.data(), s.data() + s.size(), wert);
    if (fehler != std::errc{} || rest != s.data() + s.size() || wert < kleinste || wert > groesste) {
        std::fprintf(stderr, "klientenschar: %s must be a whole number from %ld to %ld\n", was, kleinste, groesste);
        std::exit(2);
    }
    return wert;
}

struct Verbindung {
    int fd = -1;
    bool verbunden = false;
    std::string puffer;
    timespec eingang{};  // when the first bytes now in `puffer` arrived
    long antworten = 0;
};

// `netz`: a namespace to make the socket in (an open /run/netns file), or -1 for this one.
int oeffnen(std::uint32_t von, const sockaddr_in& ziel, int ep, std::uint32_t marke, int netz = -1) {
    static const int zuhause = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    if (netz >= 0 && ::setns(netz, CLONE_NEWNET) < 0) scheitern("entering the honest client's namespace");
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (netz >= 0 && ::setns(zuhause, CLONE_NEWNET) < 0) scheitern("returning to the own namespace");
    if (fd < 0) scheitern("socket");
    const int ja = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &ja, sizeof ja);
    ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &ja, sizeof ja);
    sockaddr_in quelle{};
    quelle.sin_family = AF_INET;
    quelle.sin_addr.s_addr = htonl(von);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&quelle), sizeof quelle) < 0)
        scheitern("binding a client address (is the delay line's --je-adresse on?)");
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&ziel), sizeof ziel) < 0 && errno != EINPROGRESS)
        scheitern("connecting");
    epoll_event ev{EPOLLOUT | EPOLLIN, {.u32 = marke}};
    if (::epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev) < 0) scheitern("epoll_ctl");
    return fd;
}

void schliessen(Verbindung& v) {
    if (v.fd >= 0) ::close(v.fd);
    v = Verbindung{};
}

// Reads all that has arrived; false at the stream's end, on an error, or when more piles up than any
// answer needs.
bool lesen(Verbindung& v) {
    char puffer[8192];
    for (;;) {
        iovec iov{puffer, sizeof puffer};
        alignas(cmsghdr) char steuer[CMSG_SPACE(sizeof(timespec))];
        msghdr m{};
        m.msg_iov = &iov;
        m.msg_iovlen = 1;
        m.msg_control = steuer;
        m.msg_controllen = sizeof steuer;
        const ssize_t n = ::recvmsg(v.fd, &m, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno == EAGAIN;
        if (n == 0) return false;
        if (v.puffer.empty())
            for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c))
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS)
                    std::memcpy(&v.eingang, CMSG_DATA(c), sizeof v.eingang);
        v.puffer.append(puffer, static_cast<std::size_t>(n));
        if (v.puffer.size() > kHoechstGepuffert) return false;
    }
}

// A header field's value in `kopf` (its lines each ending in CRLF), whatever the name's case.
std::string_view feld(std::string_view kopf, std::string_view name) {
    for (std::size_t a = kopf.find("\r\n"); a != std::string_view::npos && a + 2 < kopf.size();) {
        const std::size_t e = kopf.find("\r\n", a + 2);
        const std::string_view zeile = kopf.substr(a + 2, e - a - 2);
        if (zeile.size() > name.size() && zeile[name.size()] == ':' &&
            std::equal(name.begin(), name.end(), zeile.begin(),
                       [](char x, char y) { return std::tolower(x) == std::tolower(y); })) {
            std::string_view wert = zeile.substr(name.size() + 1);
            while (!wert.empty() && (wert.front() == ' ' || wert.front() == '\t'))
                wert.remove_prefix(1);
            return wert;
        }
        a = e;
    }
    return {};
}

// The length of the first whole answer in `puffer`, 0 while it is not whole, -1 for one that is no
// 200 with a Content-Length. `sekunde`: the second its Date names, or -1.
long antwort(const std::string& puffer, long long& sekunde) {
    const std::size_t ende = puffer.find("\r\n\r\n");
    if (ende == std::string::npos) return 0;
    const std::string_view kopf(puffer.data(), ende + 2);
    const std::string_view laenge_text = feld(kopf, "Content-Length");
    long laenge = -1;
    std::from_chars(laenge_text.data(), laenge_text.data() + laenge_text.size(), laenge);
    if (!kopf.starts_with("HTTP/1.1 200 ") || laenge < 0 || laenge > static_cast<long>(kHoechstGepuffert)) return -1;
    tm t{};
    const std::string datum(feld(kopf, "Date"));
    sekunde = strptime(datum.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &t) != nullptr ? timegm(&t) : -1;
    const std::size_t ganz = ende + 4 + static_cast<std::size_t>(laenge);
    return puffer.size() >= ganz ? static_cast<long>(ganz) : 0;
}

// The CPU time of all the process's threads so far, in ms, to the nanosecond the scheduler counts.
double cpu_ms(long pid) {
    double ns = 0;
    std::error_code fehler;
    for (const auto& faden : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", fehler)) {
        double laufzeit = 0;
        if (std::ifstream(faden.path() / "schedstat") >> laufzeit) ns += laufzeit;
    }
    if (fehler) {
        std::fprintf(stderr, "klientenschar: no process %ld\n", pid);
        std::exit(1);
    }
    return ns / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<const char*> worte;
    bool gemeinsam = false;
    long dienst = 0;
    int ehrlich_netz = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--gemeinsam")
            gemeinsam = true;
        else if (a == "--dienst" && i + 1 < argc)
            dienst = zahl(argv[++i], 1, 1L << 30, "--dienst");
        else if (a == "--ehrlich-im-netz" && i + 1 < argc) {
            ehrlich_netz = ::open((std::string("/run/netns/") + argv[++i]).c_str(), O_RDONLY | O_CLOEXEC);
            if (ehrlich_netz < 0) scheitern("the honest client's namespace");
        } else
            worte.push_back(argv[i]);
    }
    sockaddr_in ziel{};
    ziel.sin_family = AF_INET;
    if (worte.size() != 4 || ::inet_pton(AF_INET, worte[0], &ziel.sin_addr) != 1) {
        std::fprintf(
            stderr,
            "usage: klientenschar ZIEL PORT N SEKUNDEN [--gemeinsam] [--dienst PID] [--ehrlich-im-netz NAME]\n");
        return 2;
    }
    ziel.sin_port = htons(static_cast<std::uint16_t>(zahl(worte[1], 1, 65535, "PORT")));
    const auto n = static_cast<std::uint32_t>(zahl(worte[2], 1, kHoechstVerbindungen, "N"));
    const auto sekunden = std::chrono::seconds(zahl(worte[3], 1, kHoechstSekunden, "SEKUNDEN"));
    rlimit grenze{};
    if (::getrlimit(RLIMIT_NOFILE, &grenze) == 0 && grenze.rlim_cur < n + 64) {
        grenze.rlim_cur = std::min<rlim_t>(grenze.rlim_max, n + 64);
        ::setrlimit(RLIMIT_NOFILE, &grenze);
    }

    const int ep = ::epoll_create1(EPOLL_CLOEXEC);
    if (ep < 0) scheitern("epoll_create1");
    std::vector<Verbindung> last(n);
    for (std::uint32_t i = 0; i < n; ++i)
        last[i].fd = oeffnen(kKlientenblock + (gemeinsam ? 0 : i), ziel, ep, i);
    Verbindung ehrlich;  // its mark is n
    long ehrliche_versuche = 0, bereit = 0, antworten = 0, verloren = 0;
    std::vector<double> ehrlich_ms;
    const auto ehrlich_oeffnen = [&] {
        schliessen(ehrlich);
        // One a second, and a few more for connections that fail.
        if (++ehrliche_versuche <= 2 * sekunden.count() + 5)
            ehrlich.fd = oeffnen(ehrlich_netz >= 0 ? INADDR_ANY : kEhrlich, ziel, ep, n, ehrlich_netz);
    };

    bool messen = false;
    double cpu_beginn = 0;
    auto schluss = Zeit::now() + kAnlauf;
    std::vector<epoll_event> ereignisse(1024);
    while (Zeit::now() < schluss) {
        const int k = ::epoll_wait(ep, ereignisse.data(), static_cast<int>(ereignisse.size()), 100);
        if (k < 0 && errno != EINTR) scheitern("epoll_wait");
        for (int e = 0; e < k; ++e) {
            const std::uint32_t marke = ereignisse[e].data.u32;
            Verbindung& v = marke == n ? ehrlich : last[marke];
            if (v.fd < 0) continue;
            bool gut = true;
            if (!v.verbunden) {
                int fehler = 0;
                socklen_t l = sizeof fehler;
                ::getsockopt(v.fd, SOL_SOCKET, SO_ERROR, &fehler, &l);
                if (fehler == 0 && !(ereignisse[e].events & EPOLLOUT)) continue;
                const char* anfrage = marke == n ? kEhrlicheAnfrage : kAnfrage;
                const std::size_t laenge = std::strlen(anfrage);
                epoll_event ev{EPOLLIN, {.u32 = marke}};
                gut = fehler == 0 && ::send(v.fd, anfrage, laenge, MSG_NOSIGNAL) == static_cast<ssize_t>(laenge) &&
                      ::epoll_ctl(ep, EPOLL_CTL_MOD, v.fd, &ev) == 0;
                v.verbunden = true;
            } else {
                gut = lesen(v);
                long long sekunde = -1;
                long laenge = 0;
                while ((laenge = antwort(v.puffer, sekunde)) > 0) {
                    if (marke == n) {
                        if (messen && sekunde >= 0)
                            ehrlich_ms.push_back(static_cast<double>(v.eingang.tv_sec - sekunde) * 1e3 +
                                                 static_cast<double>(v.eingang.tv_nsec) / 1e6);
                        break;
                    }
                    v.puffer.erase(0, static_cast<std::size_t>(laenge));
                    bereit += v.antworten++ == 0;
                    antworten += messen;
                    if (::send(v.fd, kAnfrage, sizeof kAnfrage - 1, MSG_NOSIGNAL) != sizeof kAnfrage - 1) {
                        laenge = -1;
                        break;
                    }
                }
                if (marke == n && laenge > 0) {
                    ehrlich_oeffnen();
                    continue;
                }
                gut = gut && laenge == 0;
            }
            if (gut) continue;
            if (marke == n) {
                ehrlich_oeffnen();
            } else {
                schliessen(v);
                ++verloren;
            }
        }
        if (!messen && bereit == static_cast<long>(n)) {
            messen = true;
            schluss = Zeit::now() + sekunden;
            if (dienst) cpu_beginn = cpu_ms(dienst);
            ehrlich_oeffnen();
        }
    }
    if (!messen) {
        std::fprintf(stderr, "klientenschar: %ld of %u connections had an answer within %lld s (%ld lost)\n", bereit, n,
                     static_cast<long long>(kAnlauf.count()), verloren);
        return 1;
    }
    const double cpu = dienst ? cpu_ms(dienst) - cpu_beginn : 0;

    std::sort(ehrlich_ms.begin(), ehrlich_ms.end());
    const std::size_t h = ehrlich_ms.size();
    const double median = h == 0 ? 0 : (ehrlich_ms[(h - 1) / 2] + ehrlich_ms[h / 2]) / 2;
    const double schlimmst = h == 0                                    ? 0
                             : -ehrlich_ms.front() > ehrlich_ms.back() ? ehrlich_ms.front()
                                                                       : ehrlich_ms.back();
    std::printf("answers=%ld closed=%ld honest=%zu median_ms=%.3f worst_ms=%.3f", antworten, verloren, h, median,
                schlimmst);
    if (dienst) std::printf(" cpu_ms=%.1f", cpu);
    std::printf("\n");
    return 0;
}
