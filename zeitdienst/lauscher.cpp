// The time service's listening socket and its acceptors.
// SPDX-License-Identifier: MIT
#include "lauscher.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <boost/asio/post.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "plaetze.h"
#include "schleife.h"
#include "sitzung.h"

namespace zeitdienst {

namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

constexpr int kWarteschlange = 4096;  // listen backlog

// Options of the listening socket, which each connection takes from it, so none needs a call of its
// own. TCP_NODELAY: answers are single small writes, which Nagle would hold back until the client's
// delayed ACK. TCP_DEFER_ACCEPT: a connection is handed over once its request has begun to arrive,
// so the first read finds it, and a client that connects and sends nothing costs the kernel a
// while, and no place, before it costs one. But then the kernel takes the connection's first round
// trip from its SYN-ACK to the request, however long the client waited in between (a browser's
// connection opened ahead of time, a pool): a lead from that would send the answer early by up to
// its bound. So with the lead the handshake completes as usual, and its ACK is the first sample.
void einstellen(int fd, int option, int wert) {
    int ist = 0;
    socklen_t laenge = sizeof ist;
    if (::getsockopt(fd, IPPROTO_TCP, option, &ist, &laenge) == 0 && ist != 0) return;
    ::setsockopt(fd, IPPROTO_TCP, option, &wert, sizeof wert);
}

}  // namespace

// A taken port is an error: the socket never shares a port (no SO_REUSEPORT), so a second instance
// cannot quietly take half of the first one's clients.
bool lauschen(const Einstellungen& e, Lauscher& l) {
    const int n = sd_listen_fds(1);
    if (n < 0) {
        std::fprintf(stderr, "zeitdienst: cannot take the sockets from systemd: %s\n", std::strerror(-n));
        return false;
    }
    if (n > 1) {
        std::fprintf(stderr, "zeitdienst: systemd passed %d sockets; expected one\n", n);
        return false;
    }
    net::io_context ioc;
    tcp::acceptor a(ioc);
    boost::system::error_code ec;
    if (n == 1) {
        const int fd = SD_LISTEN_FDS_START;
        if (sd_is_socket(fd, AF_UNSPEC, SOCK_STREAM, 1) <= 0) {
            std::fprintf(stderr, "zeitdienst: the socket from systemd is no listening TCP socket\n");
            return false;
        }
        sockaddr_storage adr{};
        socklen_t laenge = sizeof adr;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&adr), &laenge);
        l.art = adr.ss_family == AF_INET6 ? tcp::v6() : tcp::v4();
        a.assign(l.art, fd, ec);
    } else {
        const auto adresse = net::ip::make_address(e.adresse, ec);
        if (ec) {
            std::fprintf(stderr, "zeitdienst: --bind wants a numeric address, not %s\n", e.adresse.c_str());
            return false;
        }
        const tcp::endpoint ende(adresse, static_cast<unsigned short>(e.port));
        l.art = ende.protocol();
        a.open(l.art, ec);
        if (!ec) a.set_option(tcp::acceptor::reuse_address(true), ec);
        if (!ec) a.bind(ende, ec);
        if (ec == net::error::address_in_use) {
            std::fprintf(stderr, "zeitdienst: %s port %ld is already in use\n", e.adresse.c_str(), e.port);
            return false;
        }
        if (!ec) a.listen(kWarteschlange, ec);
        if (ec) {
            std::fprintf(stderr, "zeitdienst: cannot listen on %s port %ld: %s\n", e.adresse.c_str(), e.port,
                         ec.message().c_str());
            return false;
        }
    }
    if (ec) {
        std::fprintf(stderr, "zeitdienst: %s\n", ec.message().c_str());
        return false;
    }
    einstellen(a.native_handle(), TCP_NODELAY, 1);
    if (e.vorlauf && !e.sofort) {
        // Also when systemd's socket, or an earlier service on it, asked for deferring.
        const int aus = 0;
        ::setsockopt(a.native_handle(), IPPROTO_TCP, TCP_DEFER_ACCEPT, &aus, sizeof aus);
    } else {
        einstellen(a.native_handle(), TCP_DEFER_ACCEPT, static_cast<int>((e.kopf_frist_ms + 999) / 1000));
    }
    const auto ende = a.local_endpoint(ec);
    const std::string adresse = ende.address().to_string();
    l.beschreibung = (ende.address().is_v6() ? '[' + adresse + ']' : adresse) + ':' + std::to_string(ende.port());
    l.fd = a.release(ec);
    return !ec;
}

Annehmer::Annehmer(Schleife& schleife, const Lauscher& l, int fd)
    : schleife_(schleife), art_(l.art), annehmer_(schleife.ioc(), l.art, fd), atempause_(schleife.ioc()) {
    annehmer_.non_blocking(true);
}

namespace {

net::ip::address adresse_von(const sockaddr_storage& a) {
    if (a.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(a);
        net::ip::address_v6::bytes_type b;
        std::memcpy(b.data(), &v6.sin6_addr, b.size());
        return net::ip::address_v6(b, v6.sin6_scope_id);
    }
    return net::ip::address_v4(ntohl(reinterpret_cast<const sockaddr_in&>(a).sin_addr.s_addr));
}

}  // namespace

// One connection per turn: every loop is woken for new connections, and each takes its share rather
// than the first awake all of them, which would leave the other cores idle under kept-alive load.
// Asio's reactor is edge-triggered and a wait is never tried before it is armed, so a connection
// that comes between the last empty accept4() and the arming would wait for the next one: the wait
// is armed first, then accept4() tried once more.
void Annehmer::abholen() {
    for (;;) {
        sockaddr_storage adresse{};
        socklen_t laenge = sizeof adresse;
        const int fd = ::accept4(annehmer_.native_handle(), reinterpret_cast<sockaddr*>(&adresse), &laenge,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            einlassen(fd, adresse_von(adresse));
            net::post(schleife_.ioc(), [this] { abholen(); });
            return;
        }
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            // Out of descriptors: trying again at once would spin; the cap is set too high for the limit.
            atempause_.expires_after(std::chrono::milliseconds(50));
            atempause_.async_wait([this](boost::system::error_code ec) {
                if (!ec) abholen();
            });
            return;
        }
        if (wartet_) return;
        warten();
    }
}

void Annehmer::warten() {
    wartet_ = true;
    annehmer_.async_wait(tcp::acceptor::wait_read, [this](boost::system::error_code ec) {
        wartet_ = false;
        if (ec != net::error::operation_aborted) abholen();
    });
}

namespace {

// The connection that has been reading its head the longest, whichever loop it is in.
bool aeltesten_kopf_verdraengen(const std::vector<Schleife*>& schleifen) {
    Schleife* bei = nullptr;
    Monoton seit = Monoton::max();
    for (Schleife* s : schleifen)
        if (Monoton t; s->aeltester_kopf(t) && t < seit) {
            seit = t;
            bei = s;
        }
    return bei != nullptr && bei->kopf_verdraengen();
}

}  // namespace

// A connection that gets no place is closed at once: refusing must cost less than serving, so only
// an admitted one becomes a socket of the event loop.
void Annehmer::einlassen(int fd, const net::ip::address& adresse) {
    const Quelle q = quelle_von(adresse);
    Gemeinsam& g = schleife_.g();
    Platz platz;
    auto einlass = g.plaetze.belegen(q, platz);
    if (einlass == Plaetze::Einlass::alle_voll) {
        // Before a new client is refused, a kept-alive connection that waits gives up its place, this
        // loop's own before another's; else the one longest at its head, whose place a few
        // sources could otherwise hold for good by taking every place with heads they never end.
        bool frei = schleife_.verdraengen();
        for (Schleife* andere : g.schleifen)
            if (!frei && andere != &schleife_) frei = andere->verdraengen();
        if (!frei) frei = aeltesten_kopf_verdraengen(g.schleifen);
        if (frei) einlass = g.plaetze.belegen(q, platz);
    }
    if (einlass != Plaetze::Einlass::frei) {
        ::close(fd);
        return;
    }
    boost::system::error_code ec;
    tcp::socket sock(schleife_.ioc());
    sock.assign(art_, fd, ec);
    if (ec) {
        ::close(fd);
        return;
    }
    std::make_shared<Sitzung>(std::move(sock), schleife_.umfeld(), std::move(platz), adresse)->starten();
}

}  // namespace zeitdienst
