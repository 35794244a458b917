/* The floor of the held-clients benchmark: what answering N held clients at a tick costs at the
 * least. It reads each connection's request, and when the next whole second begins it sends one
 * ready text, made before the tick, to every connection that asked, in one plain loop of send(), and
 * only then closes them. No HTTP parsing beyond the end of the head, no bookkeeping, one thread.
 * Started like the time service, so that the benchmark starts and finds both the same way:
 *   boden --bind ADDR --port PORT [--log IGNORED]...   prints "boden: listening on ADDR:PORT"
 * SPDX-License-Identifier: MIT */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

enum { kHoechstens = 1 << 17 };

static int gefragt[kHoechstens]; /* connections whose request is in, in order */
static int zahl;
static unsigned char kopfende[kHoechstens]; /* per descriptor: how much of "\r\n\r\n" was seen */

static long long ns_jetzt(void) {
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

/* The whole answer of second s, as the time service sends it to a client that asked to close. */
static int text_machen(char* text, size_t groesse, time_t s) {
    struct tm utc, ort;
    char datum[64], zeit[32];
    gmtime_r(&s, &utc);
    localtime_r(&s, &ort);
    strftime(datum, sizeof datum, "%a, %d %b %Y %H:%M:%S GMT", &utc);
    strftime(zeit, sizeof zeit, "%Y-%m-%d %H:%M:%S", &ort);
    return snprintf(text, groesse,
                    "HTTP/1.1 200 OK\r\nDate: %s\r\nContent-Type: text/plain; charset=utf-8\r\n"
                    "Cache-Control: no-store\r\nConnection: close\r\nContent-Length: %zu\r\n\r\n%s",
                    datum, strlen(zeit), zeit);
}

int main(int argc, char** argv) {
    const char* adresse = "127.0.0.1";
    int port = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--bind") == 0) adresse = argv[i + 1];
        if (strcmp(argv[i], "--port") == 0) port = atoi(argv[i + 1]);
    }
    struct rlimit r;
    if (getrlimit(RLIMIT_NOFILE, &r) == 0) {
        r.rlim_cur = r.rlim_max;
        setrlimit(RLIMIT_NOFILE, &r);
    }
    const int lauscher = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int ja = 1;
    setsockopt(lauscher, SOL_SOCKET, SO_REUSEADDR, &ja, sizeof ja);
    setsockopt(lauscher, IPPROTO_TCP, TCP_NODELAY, &ja, sizeof ja);
    struct sockaddr_in a = {.sin_family = AF_INET, .sin_port = htons((unsigned short)port)};
    socklen_t laenge = sizeof a;
    if (inet_pton(AF_INET, adresse, &a.sin_addr) != 1 || bind(lauscher, (struct sockaddr*)&a, sizeof a) != 0 ||
        listen(lauscher, 4096) != 0 || getsockname(lauscher, (struct sockaddr*)&a, &laenge) != 0) {
        perror("boden");
        return 1;
    }
    printf("boden: listening on %s:%d\n", adresse, ntohs(a.sin_port));
    fflush(stdout);

    const int ep = epoll_create1(EPOLL_CLOEXEC);
    struct epoll_event ev = {.events = EPOLLIN, .data.fd = lauscher};
    epoll_ctl(ep, EPOLL_CTL_ADD, lauscher, &ev);
    static struct epoll_event evs[1024];
    char puffer[4096], text[512];
    int text_laenge = 0;
    long long tick = 0;
    for (;;) {
        int warten = -1;
        if (zahl > 0) {
            /* The text of the coming second is made before it begins; wake a little early and spin. */
            if (tick == 0) {
                tick = (ns_jetzt() / 1000000000LL + 1) * 1000000000LL;
                text_laenge = text_machen(text, sizeof text, (time_t)(tick / 1000000000LL));
            }
            const long long rest = tick - ns_jetzt() - 3000000LL;
            warten = rest > 0 ? (int)(rest / 1000000LL) : 0;
        }
        const int n = epoll_wait(ep, evs, 1024, warten);
        for (int i = 0; i < n; ++i) {
            const int fd = evs[i].data.fd;
            if (fd == lauscher) {
                int neu;
                while ((neu = accept4(lauscher, NULL, NULL, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
                    if (neu >= kHoechstens) {
                        close(neu);
                        continue;
                    }
                    kopfende[neu] = 0;
                    struct epoll_event e = {.events = EPOLLIN, .data.fd = neu};
                    epoll_ctl(ep, EPOLL_CTL_ADD, neu, &e);
                }
                continue;
            }
            const ssize_t k = recv(fd, puffer, sizeof puffer, 0);
            if (k <= 0) {
                close(fd);
                continue;
            }
            static const char ende[] = "\r\n\r\n";
            for (ssize_t j = 0; j < k && kopfende[fd] < 4; ++j)
                kopfende[fd] = puffer[j] == ende[kopfende[fd]] ? kopfende[fd] + 1 : (puffer[j] == '\r');
            if (kopfende[fd] == 4) {
                epoll_ctl(ep, EPOLL_CTL_DEL, fd, NULL);
                gefragt[zahl++] = fd;
            }
        }
        if (zahl == 0 || tick == 0 || ns_jetzt() < tick - 3000000LL) continue;
        while (ns_jetzt() < tick) {
        }
        for (int i = 0; i < zahl; ++i)
            send(gefragt[i], text, (size_t)text_laenge, MSG_NOSIGNAL | MSG_DONTWAIT);
        for (int i = 0; i < zahl; ++i)
            close(gefragt[i]);
        zahl = 0;
        tick = 0;
    }
}
