// The time service's places for connections, counted under one lock: taken and given back once per
// connection, never per request.
// SPDX-License-Identifier: MIT
#include "plaetze.h"

#include <cstring>

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

// The source's limit first: a client refused for it must not cost another client its idle connection.
Plaetze::Einlass Plaetze::belegen(const Quelle& q) {
    const std::lock_guard sperre(sperre_);
    const auto it = je_quelle_belegt_.find(q);
    if (it != je_quelle_belegt_.end() && it->second >= je_quelle_) return Einlass::quelle_voll;
    if (belegt_ >= gesamt_) return Einlass::alle_voll;
    if (it == je_quelle_belegt_.end())
        je_quelle_belegt_.emplace(q, 1);
    else
        ++it->second;
    ++belegt_;
    return Einlass::frei;
}

void Plaetze::freigeben(const Quelle& q) {
    const std::lock_guard sperre(sperre_);
    const auto it = je_quelle_belegt_.find(q);
    if (it == je_quelle_belegt_.end()) return;
    --belegt_;
    if (--it->second == 0) je_quelle_belegt_.erase(it);
}

}  // namespace zeitdienst
