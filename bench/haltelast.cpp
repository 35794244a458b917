// Load client for the time service's benchmarks: many clients held to the same tick, or slow-header
// clients beside one normal client. Prints milliseconds as "min median p99 max".
//   haltelast halten ADDR PORT N      N connections, one request each, all sent within one second;
//                                     how long after the tick each answer arrives
//   haltelast langsam ADDR PORT N     N clients that send a header byte every second, then 50
//                                     requests of one normal client; its round-trip times
// SPDX-License-Identifier: MIT
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Uhr = std::chrono::system_clock;

double ms_seit_epoche() { return std::chrono::duration<double, std::milli>(Uhr::now().time_since_epoch()).count(); }

int verbinden(const sockaddr_in& ziel) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&ziel), sizeof ziel) != 0) {
        ::close(fd);
        return -1;
    }
    const int ja = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &ja, sizeof ja);
    return fd;
}

void ausgeben(std::vector<double> werte, std::size_t erwartet) {
    if (werte.empty()) {
        std::printf("n/a n/a n/a n/a 0/%zu\n", erwartet);
        return;
    }
    std::sort(werte.begin(), werte.end());
    const auto bei = [&](double q) { return werte[std::min(werte.size() - 1, std::size_t(q * werte.size()))]; };
    std::printf("%.2f %.2f %.2f %.2f %zu/%zu\n", werte.front(), bei(0.5), bei(0.99), werte.back(), werte.size(),
                erwartet);
}

constexpr char kAnfrage[] = "GET /zeit.php HTTP/1.1\r\nHost: zeit\r\nConnection: close\r\n\r\n";

// Arrival of each answer minus the start of the second it names (its Date header's second).
int halten(const sockaddr_in& ziel, std::size_t n) {
    std::vector<int> fds;
    for (std::size_t i = 0; i < n; ++i) {
        const int fd = verbinden(ziel);
        if (fd < 0) {
            std::fprintf(stderr, "haltelast: connection %zu: %s\n", i, std::strerror(errno));
            break;
        }
        fds.push_back(fd);
    }
    // Send all requests early in a second, so all are held to the same tick.
    const double jetzt = ms_seit_epoche();
    const double ms_in_sekunde = jetzt - 1000.0 * std::floor(jetzt / 1000.0);
    if (ms_in_sekunde > 100)
        std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(1100 - ms_in_sekunde));
    const int ep = ::epoll_create1(0);
    for (const int fd : fds) {
        const int ja = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &ja, sizeof ja);
        if (::send(fd, kAnfrage, sizeof kAnfrage - 1, MSG_NOSIGNAL) < 0) continue;
        epoll_event ev{EPOLLIN, {.fd = fd}};
        ::epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
    }
    std::vector<double> spaet;
    std::vector<epoll_event> evs(1024);
    std::size_t offen = fds.size();
    char puffer[1024];
    const double ende = ms_seit_epoche() + 5000;
    while (offen > 0 && ms_seit_epoche() < ende) {
        const int k = ::epoll_wait(ep, evs.data(), static_cast<int>(evs.size()), 100);
        const double eingang = ms_seit_epoche();
        for (int i = 0; i < k; ++i) {
            const int fd = evs[i].data.fd;
            // The kernel's time of arrival, so this client's own pace does not count.
            iovec iov{puffer, sizeof puffer - 1};
            alignas(cmsghdr) char steuer[CMSG_SPACE(sizeof(timespec))];
            msghdr m{};
            m.msg_iov = &iov;
            m.msg_iovlen = 1;
            m.msg_control = steuer;
            m.msg_controllen = sizeof steuer;
            const ssize_t r = ::recvmsg(fd, &m, 0);
            double an = eingang;
            for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c))
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                    timespec ts{};
                    std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                    an = 1000.0 * static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e6;
                }
            if (r > 0) {
                puffer[r] = '\0';
                // The body is the last 19 bytes: take the second from the Date header instead.
                const char* datum = std::strstr(puffer, "\r\nDate: ");
                tm t{};
                if (datum != nullptr && strptime(datum + 8, "%a, %d %b %Y %H:%M:%S GMT", &t) != nullptr)
                    spaet.push_back(an - 1000.0 * static_cast<double>(timegm(&t)));
            }
            ::epoll_ctl(ep, EPOLL_CTL_DEL, fd, nullptr);
            --offen;
        }
    }
    for (const int fd : fds)
        ::close(fd);
    ::close(ep);
    ausgeben(spaet, n);
    return 0;
}

// One normal client's round trips while n slow clients dribble their headers.
int langsam(const sockaddr_in& ziel, std::size_t n) {
    std::vector<int> langsame;
    for (std::size_t i = 0; i < n; ++i)
        if (const int fd = verbinden(ziel); fd >= 0) {
            ::send(fd, "GET / HTTP/1.1\r\nX-", 18, MSG_NOSIGNAL);
            langsame.push_back(fd);
        }
    bool tropfen = true;
    std::thread tropfer([&] {
        while (tropfen) {
            for (const int fd : langsame)
                ::send(fd, "x", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::vector<double> dauer;
    char puffer[1024];
    for (int i = 0; i < 50; ++i) {
        const double beginn = ms_seit_epoche();
        const int fd = verbinden(ziel);
        if (fd < 0) continue;
        pollfd p{fd, POLLIN, 0};
        if (::send(fd, kAnfrage, sizeof kAnfrage - 1, MSG_NOSIGNAL) > 0 && ::poll(&p, 1, 3000) == 1 &&
            ::recv(fd, puffer, sizeof puffer, 0) > 0)
            dauer.push_back(ms_seit_epoche() - beginn);
        ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    tropfen = false;
    tropfer.join();
    for (const int fd : langsame)
        ::close(fd);
    ausgeben(dauer, 50);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: haltelast halten|langsam ADDR PORT N\n");
        return 2;
    }
    rlimit r{};
    if (::getrlimit(RLIMIT_NOFILE, &r) == 0) {
        r.rlim_cur = r.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &r);
    }
    sockaddr_in ziel{};
    ziel.sin_family = AF_INET;
    ziel.sin_port = htons(static_cast<unsigned short>(std::atoi(argv[3])));
    if (::inet_pton(AF_INET, argv[2], &ziel.sin_addr) != 1) return 2;
    const std::size_t n = std::strtoul(argv[4], nullptr, 10);
    if (std::strcmp(argv[1], "halten") == 0) return halten(ziel, n);
    if (std::strcmp(argv[1], "langsam") == 0) return langsam(ziel, n);
    return 2;
}
