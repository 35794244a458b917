// The time service's places as functions: one source at its limit keeps no other out, nor does one
// IPv6 site, the whole is bounded, and a place given back can be taken again.
// SPDX-License-Identifier: MIT
#include "plaetze.h"

#include <gtest/gtest.h>

namespace zeitdienst {
namespace {

using boost::asio::ip::make_address;
using Einlass = Plaetze::Einlass;

Quelle q(const char* adresse) { return quelle_von(make_address(adresse)); }

TEST(Quelle, EineIPv4AdresseOderEinIPv6Netz) {
    EXPECT_NE(q("192.0.2.1"), q("192.0.2.2"));
    // One holder of an IPv6 network has all of its 2^64 addresses.
    EXPECT_EQ(q("2001:db8:1:2::1"), q("2001:db8:1:2:ffff:ffff:ffff:ffff"));
    EXPECT_NE(q("2001:db8:1:2::1"), q("2001:db8:1:3::1"));
    // The same IPv4 client, whether it came in on an IPv4 or a dual-stack IPv6 socket.
    EXPECT_EQ(q("::ffff:192.0.2.1"), q("192.0.2.1"));
    // An IPv6 network whose first bytes spell an IPv4 address is another source.
    EXPECT_NE(q("c000:201::"), q("192.0.2.1"));
}

TEST(Plaetze, EineQuelleAnIhrerGrenzeSperrtKeineAndereAus) {
    Plaetze p(4, 2, 8);
    const Quelle a = q("192.0.2.1"), b = q("192.0.2.2"), c = q("192.0.2.3");
    EXPECT_EQ(p.belegen(a), Einlass::frei);
    EXPECT_EQ(p.belegen(a), Einlass::frei);
    EXPECT_EQ(p.belegen(a), Einlass::quelle_voll);
    EXPECT_EQ(p.belegen(b), Einlass::frei);
    EXPECT_EQ(p.belegen(b), Einlass::frei);
    // All taken: a source at its limit hears that before it hears of the whole, so nobody's idle
    // connection is closed for a client that could not have it anyway.
    EXPECT_EQ(p.belegen(a), Einlass::quelle_voll);
    EXPECT_EQ(p.belegen(c), Einlass::alle_voll);
    p.freigeben(a);
    EXPECT_EQ(p.belegen(c), Einlass::frei);
    EXPECT_EQ(p.belegen(a), Einlass::alle_voll);
}

TEST(Plaetze, EineIPv6SiteMitVielenNetzenHoechstensIhrenTeil) {
    Plaetze p(20, 2, 3);
    EXPECT_EQ(p.belegen(q("2001:db8:1:1::1")), Einlass::frei);
    EXPECT_EQ(p.belegen(q("2001:db8:1:1::2")), Einlass::frei);
    EXPECT_EQ(p.belegen(q("2001:db8:1:2::1")), Einlass::frei);
    // Its /64 network has room, its /48 none.
    EXPECT_EQ(p.belegen(q("2001:db8:1:3::1")), Einlass::quelle_voll);
    EXPECT_EQ(p.belegen(q("2001:db8:2:3::1")), Einlass::frei);
    p.freigeben(q("2001:db8:1:1::1"));
    EXPECT_EQ(p.belegen(q("2001:db8:1:ffff::1")), Einlass::frei);
    EXPECT_EQ(p.belegen(q("2001:db8:1:3::1")), Einlass::quelle_voll);
    // IPv4 addresses have no such network, however close they are.
    for (const char* a : {"192.0.2.1", "192.0.2.2", "192.0.2.3"}) {
        EXPECT_EQ(p.belegen(q(a)), Einlass::frei) << a;
        EXPECT_EQ(p.belegen(q(a)), Einlass::frei) << a;
    }
}

TEST(Plaetze, ZurueckgegebenePlaetzeSindAlleWiederDa) {
    Plaetze p(3, 3, 3);
    const Quelle a = q("192.0.2.1"), b = q("2001:db8::1");
    for (int runde = 0; runde < 3; ++runde) {
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(p.belegen(runde % 2 ? a : b), Einlass::frei) << runde;
        EXPECT_EQ(p.belegen(a), runde % 2 ? Einlass::quelle_voll : Einlass::alle_voll) << runde;
        for (int i = 0; i < 3; ++i)
            p.freigeben(runde % 2 ? a : b);
    }
    // A place given back by a source that holds none changes nothing.
    p.freigeben(q("192.0.2.9"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(p.belegen(a), Einlass::frei);
    EXPECT_EQ(p.belegen(b), Einlass::alle_voll);
}

}  // namespace
}  // namespace zeitdienst
