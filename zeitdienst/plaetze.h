// The time service's places for connections: how many are open, and how many of them one source, and
// one IPv6 site, hold.
// SPDX-License-Identifier: MIT
#pragma once

#include <utility>  // before Asio: its coroutine header uses std::exchange without it

#include <array>
#include <boost/asio/ip/address.hpp>
#include <cstddef>
#include <mutex>
#include <unordered_map>

namespace zeitdienst {

// Whom a connection counts against: its IPv4 address, or the /64 network of an IPv6 one, since
// whoever has one IPv6 address commonly has the 2^64 addresses of its network too.
using Quelle = std::array<unsigned char, 16>;
Quelle quelle_von(const boost::asio::ip::address& adresse);

// An IPv6 source counts against its /48 network too, a site's usual share, which holds 65536 /64
// networks: without it, one site would take every place with a few of its networks.
class Plaetze {
public:
    Plaetze(long gesamt, long je_quelle, long je_netz) : gesamt_(gesamt), je_quelle_(je_quelle), je_netz_(je_netz) {}

    enum class Einlass { frei, quelle_voll, alle_voll };
    // Takes a place for a new connection of `q`, if it may have one; quelle_voll for its network too.
    Einlass belegen(const Quelle& q);
    void freigeben(const Quelle& q);

private:
    struct Streuung {
        std::size_t operator()(const Quelle& q) const noexcept;
    };
    const long gesamt_;
    const long je_quelle_;
    const long je_netz_;
    std::mutex sperre_;
    long belegt_ = 0;
    std::unordered_map<Quelle, long, Streuung> je_quelle_belegt_;  // the /48 networks too, as Quellen of their own
};

}  // namespace zeitdienst
