// The time service's places for connections, counted under one lock: taken and given back once per
// connection, never per request.
// SPDX-License-Identifier: MIT
#include "plaetze.h"

#include <cstring>
#include <utility>

namespace zeitdienst {

Quelle quelle_von(const boost::asio::ip::address& adresse) {
    Quelle q{};
    if (adresse.is_v6() && !adresse.to_v6().is_v4_mapped()) {
        const auto bytes = adresse.to_v6().to_bytes();
        std::memcpy(q.data(), bytes.data(), 8);
        q[15] = 6;  // no IPv4 address can look like this
        return q;
    }
    const auto v4 = adresse.is_v4() ? adresse.to_v4()
                                    : boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, adresse.to_v6());
    const auto bytes = v4.to_bytes();
    std::memcpy(q.data(), bytes.data(), bytes.size());
    q[15] = 4;
    return q;
}

std::size_t Plaetze::Streuung::operator()(const Quelle& q) const noexcept {
    std::size_t h = 14695981039346656037ull;  // FNV-1a
    for (const unsigned char b : q)
        h = (h ^ b) * 1099511628211ull;
    return h;
}

namespace {

// The /48 network of an IPv6 source, as a key no source has; false for an IPv4 one.
bool netz_von(const Quelle& q, Quelle& netz) {
    if (q[15] != 6) return false;
    netz = {};
    std::memcpy(netz.data(), q.data(), 6);
    netz[15] = 48;
    return true;
}

}  // namespace

Platz::Platz(Platz&& p) noexcept
    : plaetze_(std::exchange(p.plaetze_, nullptr)), quelle_(p.quelle_), geraeumt_(p.geraeumt()) {}

Platz::~Platz() {
    if (plaetze_ != nullptr) plaetze_->freigeben(*this);
}

// The source's limits first: a client refused for them must not cost another client its place.
Plaetze::Einlass Plaetze::belegen(const Quelle& q, Platz& platz) {
    const std::lock_guard sperre(sperre_);
    const auto it = je_quelle_belegt_.find(q);
    if (it != je_quelle_belegt_.end() && it->second >= je_quelle_) return Einlass::quelle_voll;
    Quelle netz{};
    const bool v6 = netz_von(q, netz);
    if (v6) {
        const auto n = je_quelle_belegt_.find(netz);
        if (n != je_quelle_belegt_.end() && n->second >= je_netz_) return Einlass::quelle_voll;
    }
    if (belegt_ - geraeumt_ >= gesamt_) return Einlass::alle_voll;
    ++je_quelle_belegt_[q];
    if (v6) ++je_quelle_belegt_[netz];
    ++belegt_;
    platz.plaetze_ = this;
    platz.quelle_ = q;
    return Einlass::frei;
}

bool Plaetze::raeumen(Platz& platz) {
    const std::lock_guard sperre(sperre_);
    if (platz.plaetze_ != this || platz.geraeumt()) return false;
    platz.geraeumt_.store(true, std::memory_order_relaxed);
    ++geraeumt_;
    return true;
}

void Plaetze::freigeben(Platz& platz) {
    const std::lock_guard sperre(sperre_);
    --belegt_;
    if (platz.geraeumt()) --geraeumt_;
    const Quelle& q = platz.quelle_;
    if (const auto it = je_quelle_belegt_.find(q); --it->second == 0) je_quelle_belegt_.erase(it);
    Quelle netz{};
    if (!netz_von(q, netz)) return;
    if (const auto n = je_quelle_belegt_.find(netz); --n->second == 0) je_quelle_belegt_.erase(n);
}

}  // namespace zeitdienst
