// One client connection of the time service: it reads requests, writes answers and closes.
// SPDX-License-Identifier: MIT
#include "sitzung.h"

#include <sys/socket.h>

#include <boost/asio/write.hpp>
#include <boost/beast/http/error.hpp>
#include <cerrno>
#include <cstring>
#include <limits>

#include "rundlauf.h"

namespace zeitdienst {

namespace net = boost::asio;

namespace {

constexpr std::size_t kLeseStueck = 2048;
constexpr auto kSchreibfrist = 30s;  // a client that stops reading loses its connection
constexpr auto kAusklingen = 1s;     // reading after our last byte, so closing sends no reset

Monoton mono() { return std::chrono::steady_clock::now(); }

// Whether the client has sent anything we have not read: closing on unread input resets the
// connection, and the reset may cost the client the answer still on its way.
bool nichts_ungelesen(int fd) {
    char c;
    const ssize_t n = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    return n <= 0;
}

}  // namespace

Gesendet senden_sofort(int fd, std::string_view text, std::string& rest) {
    const ssize_t n = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n == static_cast<ssize_t>(text.size())) return Gesendet::ganz;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return Gesendet::weg;
    rest.assign(text.substr(n < 0 ? 0 : static_cast<std::size_t>(n)));
    return Gesendet::teils;
}

Sitzung::Sitzung(net::ip::tcp::socket sock, const Umfeld& umfeld, Platz platz, const net::ip::address& adresse)
    : sock_(std::move(sock)), platz_(std::move(platz)), umfeld_(umfeld) {
    if (umfeld_.protokoll.an()) wer_ = adresse.to_string();
}

// The socket closes and the place goes back as the members go.
Sitzung::~Sitzung() {
    if (eintrag_ != nullptr) umfeld_.wirt.abmelden(*eintrag_);
}

void Sitzung::starten() {
    eintrag_ = &umfeld_.wirt.anmelden(*this);
    auf_anfrage_warten();
}

void Sitzung::abbrechen() { jetzt_schliessen(); }

// The whole request must arrive within the header time-out from here.
void Sitzung::auf_anfrage_warten() {
    frist_ = mono() + std::chrono::milliseconds(umfeld_.e.kopf_frist_ms);
    verarbeiten();
}

void Sitzung::weiterlesen() {
    zustand_ = Zustand::lesen;
    if (std::exchange(vom_takt_, false) && !leser_ && eingang_.size() == 0) return zum_takt_lesen();
    // The listening socket hands a connection over once its request has begun to arrive, so the first
    // read nearly always finds it. Once only: a client that keeps sending waits its turn in the loop.
    if (!direkt_gelesen_) {
        direkt_gelesen_ = true;
        const auto puffer = eingang_.prepare(kLeseStueck);
        const ssize_t n = ::recv(fd(), puffer.data(), puffer.size(), MSG_DONTWAIT);
        if (n > 0) {
            eingang_.commit(static_cast<std::size_t>(n));
            return verarbeiten();
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return jetzt_schliessen();
    }
    if (beantwortet_ > 0 && !leser_ && eingang_.size() == 0) {
        umfeld_.wirt.ruhen(*eintrag_);
        ruhend_ = true;
    } else if (!im_kopf_) {
        umfeld_.wirt.kopf_lesen(*eintrag_);
        im_kopf_ = true;
    }
    lesen_lassen();
    sock_.async_read_some(
        eingang_.prepare(kLeseStueck),
        [self = shared_from_this()](boost::system::error_code ec, std::size_t n) { self->gelesen(ec, n); });
}

// A client that asks on a kept-alive connection each second has asked again by its next tick, at
// whatever distance: its request is read at that tick, not as it arrives, so that it costs the loop
// one wake a second, not two. Meanwhile its data wakes nobody, only its end does; what it asks for is
// answered at that tick, and one that asked for nothing waits for its next request as any other.
void Sitzung::zum_takt_lesen() {
    const int nie = std::numeric_limits<int>::max(), an = 1;
    if (!stumm_ && (::setsockopt(fd(), SOL_SOCKET, SO_RCVLOWAT, &nie, sizeof nie) != 0 ||
                    ::setsockopt(fd(), SOL_SOCKET, SO_TIMESTAMPNS, &an, sizeof an) != 0))
        return weiterlesen();
    stumm_ = true;
    frist_ = Monoton::max();  // the tick comes within a second and a lead
    umfeld_.wirt.ruhen(*eintrag_);
    ruhend_ = true;
    umfeld_.wirt.festhalten(shared_from_this(), vorlauf_, Wirt::Halt::nachschau);
}

// Before any wait for data: the socket wakes the loop again.
void Sitzung::lesen_lassen() {
    if (!stumm_) return;
    const int eins = 1;
    ::setsockopt(fd(), SOL_SOCKET, SO_RCVLOWAT, &eins, sizeof eins);
    stumm_ = false;
}

bool Sitzung::nachschauen(Zeitpunkt bis) {
    aufwachen();
    if (zustand_ == Zustand::zu) return false;
    if (platz_.geraeumt()) {
        jetzt_schliessen();
        return false;
    }
    const auto puffer = eingang_.prepare(kLeseStueck);
    iovec teil{puffer.data(), puffer.size()};
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(timespec))> steuer;
    msghdr nachricht{};
    nachricht.msg_iov = &teil;
    nachricht.msg_iovlen = 1;
    nachricht.msg_control = steuer.data();
    nachricht.msg_controllen = steuer.size();
    const ssize_t n = ::recvmsg(fd(), &nachricht, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        jetzt_schliessen();
        return false;
    }
    if (n < 0) {
        auf_anfrage_warten();
        return false;
    }
    eingang_.commit(static_cast<std::size_t>(n));
    Zeitpunkt angekommen = std::chrono::system_clock::now();
    for (cmsghdr* c = CMSG_FIRSTHDR(&nachricht); c != nullptr; c = CMSG_NXTHDR(&nachricht, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
        timespec stempel{};
        std::memcpy(&stempel, CMSG_DATA(c), sizeof stempel);
        angekommen = Zeitpunkt(std::chrono::seconds(stempel.tv_sec) + std::chrono::nanoseconds(stempel.tv_nsec));
    }
    im_takt_ = angekommen <= bis;
    auf_anfrage_warten();
    im_takt_ = false;
    return std::exchange(zum_takt_, false);
}

void Sitzung::aufwachen() {
    if (!ruhend_) return;
    ruhend_ = false;
    umfeld_.wirt.aufwachen(*eintrag_);
}

void Sitzung::gelesen(boost::system::error_code ec, std::size_t n) {
    aufwachen();
    if (ec || platz_.geraeumt()) return jetzt_schliessen();
    eingang_.commit(n);
    verarbeiten();
}

// Every whole request that has arrived, then more reading unless an answer is held or being written.
void Sitzung::verarbeiten() {
    const Einstellungen& e = umfeld_.e;
    while (eingang_.size() > 0) {
        if (!leser_) leser_.emplace(static_cast<std::size_t>(e.kopf_hoechstens), ziel_, methode_text_);
        boost::system::error_code ec;
        eingang_.consume(leser_->put(eingang_.data(), ec));
        if (ec == http::error::need_more) break;
        if (!ec && !leser_->is_done()) continue;
        if (im_kopf_) {
            im_kopf_ = false;
            umfeld_.wirt.kopf_gelesen(*eintrag_);
        }
        Antwort antwort;
        std::string zeile = "-";  // the request line may be what was wrong
        if (ec) {
            antwort = fehlerantwort(fehlerstatus(ec), wartend_zahl_);
        } else {
            klient_schliesst_ = !leser_->keep_alive();
            antwort = beantworten({leser_->methode, ziel_, leser_->version, !klient_schliesst_, wartend_zahl_},
                                  e.sofort, umfeld_.uhr.synchron());
            if (umfeld_.protokoll.an()) zeile = Protokoll::anfragezeile(methode_text_, ziel_, leser_->version);
        }
        leser_.reset();
        if (!annehmen(antwort, std::move(zeile))) return;
    }
    if (zustand_ == Zustand::lesen) weiterlesen();
}

// True while the connection may go on reading.
bool Sitzung::annehmen(const Antwort& antwort, std::string zeile) {
    if (!antwort.offen_halten) offen_ = false;
    if (antwort.zur_sekunde) {
        wartend_[static_cast<std::size_t>(wartend_zahl_++)] = {antwort, std::move(zeile)};
        if (wartend_zahl_ == 1) {
            zustand_ = Zustand::halten;
            frist_ = Monoton::max();  // the tick comes within a second
            vorlauf_ = umfeld_.e.vorlauf ? vorlauf(kleinster_rundlauf(fd())) : 0ns;
            if (im_takt_) {
                zum_takt_ = true;
                return offen_;
            }
            // A connection that had its answers before, and keeps asking, may give way to a new
            // client while its next one is held; one on its first request may not, or a newcomer
            // could push out the newcomer before it.
            if (beantwortet_ > 0) {
                umfeld_.wirt.ruhen(*eintrag_);
                ruhend_ = true;
            }
            umfeld_.wirt.festhalten(shared_from_this(), vorlauf_, Wirt::Halt::antwort);
        }
        return offen_;
    }
    // A plain send(); the event loop writes only what the socket did not take.
    const Genannt genannt = sofort_genannt(std::chrono::system_clock::now());
    const Gesendet gesendet = senden_sofort(fd(), umfeld_.texte.text(antwort, genannt.text, genannt.datum), ausgang_);
    verbuchen({antwort, std::move(zeile)}, genannt.datum);
    if (gesendet == Gesendet::weg) {
        jetzt_schliessen();
        return false;
    }
    if (gesendet == Gesendet::teils) {
        schreiben();
        return false;
    }
    if (!offen_) {
        schliessen();
        return false;
    }
    frist_ = mono() + std::chrono::milliseconds(umfeld_.e.kopf_frist_ms);
    return true;
}

// At the tick, as for an answer at once, the socket takes the answer itself when it can: a held
// connection has waited for the tick, not for its socket, so it has been no business of the loop yet.
void Sitzung::vorbereiten(Sekunde s) {
    for (int i = 0; i < wartend_zahl_; ++i)
        umfeld_.texte.text(wartend_[static_cast<std::size_t>(i)].antwort, s, s);
}

void Sitzung::zur_sekunde(Sekunde s) {
    if (platz_.geraeumt()) {
        gesendet_ = Gesendet::weg;
        return;
    }
    if (wartend_zahl_ == 1) {
        gesendet_ = senden_sofort(fd(), umfeld_.texte.text(wartend_[0].antwort, s, s), ausgang_);
        return;
    }
    std::string alle;
    for (int i = 0; i < wartend_zahl_; ++i)
        alle += umfeld_.texte.text(wartend_[static_cast<std::size_t>(i)].antwort, s, s);
    gesendet_ = senden_sofort(fd(), alle, ausgang_);
}

void Sitzung::nach_der_sekunde(Sekunde s) {
    aufwachen();
    // One that gave way to a new client sent nothing.
    for (int i = 0; i < wartend_zahl_ && !platz_.geraeumt(); ++i)
        verbuchen(wartend_[static_cast<std::size_t>(i)], s);
    wartend_zahl_ = 0;
    if (gesendet_ == Gesendet::weg) return jetzt_schliessen();
    if (gesendet_ == Gesendet::teils) return schreiben();
    vom_takt_ = offen_;
    fertig();
}

// An answer has gone out: counted, so the connection is known to be kept alive between requests, and logged.
void Sitzung::verbuchen(const Wartend& w, Sekunde s) {
    ++beantwortet_;
    if (!umfeld_.protokoll.an()) return;
    umfeld_.wirt.protokollieren(
        Protokoll::zeile(wer_, w.zeile, static_cast<int>(w.antwort.status), rumpflaenge(w.antwort), s));
}

void Sitzung::schreiben() {
    zustand_ = Zustand::schreiben;
    frist_ = mono() + kSchreibfrist;
    net::async_write(sock_, net::buffer(ausgang_),
                     [self = shared_from_this()](boost::system::error_code ec, std::size_t) {
                         if (ec) return self->jetzt_schliessen();
                         self->fertig();
                     });
}

// Every answer so far is out: the next request, or the end.
void Sitzung::fertig() {
    if (!offen_) return schliessen();
    zustand_ = Zustand::lesen;
    auf_anfrage_warten();
}

// A client that asked for the close sends nothing more; one closed for the service's own reasons
// may have more requests on the way, and gets a moment to finish.
void Sitzung::schliessen() {
    zustand_ = Zustand::zu;
    if (eingang_.size() == 0 && (klient_schliesst_ || nichts_ungelesen(fd()))) return jetzt_schliessen();
    boost::system::error_code ec;
    sock_.shutdown(net::ip::tcp::socket::shutdown_send, ec);
    if (ec) return jetzt_schliessen();
    frist_ = mono() + kAusklingen;
    ausklingen();
}

void Sitzung::ausklingen() {
    lesen_lassen();
    sock_.async_read_some(net::buffer(abfall_), [self = shared_from_this()](boost::system::error_code ec, std::size_t) {
        if (ec) return self->jetzt_schliessen();
        self->ausklingen();
    });
}

void Sitzung::jetzt_schliessen() {
    zustand_ = Zustand::zu;
    boost::system::error_code ec;
    sock_.close(ec);
}

}  // namespace zeitdienst
