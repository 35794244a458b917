// The time service's places for connections: how many are open, and how many of them one source, and
// one IPv6 site, hold.
// SPDX-License-Identifier: MIT
#pragma once

#include <utility>  // before Asio: its coroutine header uses std::exchange without it

#include <array>
#include <atomic>
#include <boost/asio/ip/address.hpp>
#include <cstddef>
#include <mutex>
#include <unordered_map>

namespace zeitdienst {

// Whom a connection counts against: its IPv4 address, or the /64 network of an IPv6 one, since
// whoever has one IPv6 address commonly has the 2^64 addresses of its network too.
using Quelle = std::array<unsigned char, 16>;
Quelle quelle_von(const boost::asio::ip::address& adresse);

class Plaetze;

// A connection's place, from Plaetze::belegen until its owner ends: it gives itself back then,
// whichever way the owner ends. It moves only before anyone else can see it.
class Platz {
public:
    Platz() = default;
    Platz(Platz&& p) noexcept;
    Platz& operator=(Platz&&) = delete;
    ~Platz();

    explicit operator bool() const { return plaetze_ != nullptr; }
    const Quelle& quelle() const { return quelle_; }
    // Whether its owner has been asked to end for a new client (Plaetze::raeumen).
    bool geraeumt() const { return geraeumt_.load(std::memory_order_relaxed); }

private:
    friend class Plaetze;
    Plaetze* plaetze_ = nullptr;
    Quelle quelle_{};
    std::atomic<bool> geraeumt_{false};  // written under the Plaetze' lock
};

// An IPv6 source counts against its /48 network too, a site's usual share, which holds 65536 /64
// networks: without it, one site would take every place with a few of its networks.
class Plaetze {
public:
    Plaetze(long gesamt, long je_quelle, long je_netz) : gesamt_(gesamt), je_quelle_(je_quelle), je_netz_(je_netz) {}

    enum class Einlass { frei, quelle_voll, alle_voll };
    // Takes a place for a new connection of `q` into `platz`, if it may have one; quelle_voll for its
    // network too.
    Einlass belegen(const Quelle& q, Platz& platz);
    // From any thread, while `platz`'s owner lives and has been asked to end: its place counts as
    // free for a new client from now on, though the owner gives it back only as it ends. False if it
    // was asked before, so that one leaving connection makes room for one new client, not two.
    bool raeumen(Platz& platz);

private:
    friend class Platz;
    void freigeben(Platz& platz);

    struct Streuung {
        std::size_t operator()(const Quelle& q) const noexcept;
    };
    const long gesamt_;
    const long je_quelle_;
    const long je_netz_;
    std::mutex sperre_;
    long belegt_ = 0;
    long geraeumt_ = 0;  // of belegt_, those whose owners are on their way out
    std::unordered_map<Quelle, long, Streuung> je_quelle_belegt_;  // the /48 networks too, as Quellen of their own
};

}  // namespace zeitdienst
