// The time service's places as functions: one source at its limit keeps no other out, nor does one
// IPv6 site, the whole is bounded, a place comes back when its owner ends, and one whose owner was
// asked to end makes room for one new client.
// SPDX-License-Identifier: MIT
#include "plaetze.h"

#include <gtest/gtest.h>

#include <list>

namespace zeitdienst {
namespace {

using boost::asio::ip::make_address;
using Einlass = Plaetze::Einlass;

Quelle q(const char* adresse) { return quelle_von(make_address(adresse)); }

// The places a test's connections hold, each given back as its connection goes.
struct Belegt {
    Belegt(long gesamt, long je_quelle, long je_netz) : p(gesamt, je_quelle, je_netz) {}
    Einlass belegen(const Quelle& quelle) {
        auto& platz = offen.emplace_back();
        const Einlass e = p.belegen(quelle, platz);
        if (e != Einlass::frei) offen.pop_back();
        return e;
    }
    void freigeben(const Quelle& quelle) {
        offen.remove_if([&, erste = true](const Platz& platz) mutable {
            return std::exchange(erste, erste && platz.quelle() != quelle) && platz.quelle() == quelle;
        });
    }
    Plaetze p;
    std::list<Platz> offen;  // before p goes
};

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
    Belegt p(4, 2, 8);
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
    Belegt p(20, 2, 3);
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
    Belegt p(3, 3, 3);
    const Quelle a = q("192.0.2.1"), b = q("2001:db8::1");
    for (int runde = 0; runde < 3; ++runde) {
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(p.belegen(runde % 2 ? a : b), Einlass::frei) << runde;
        EXPECT_EQ(p.belegen(a), runde % 2 ? Einlass::quelle_voll : Einlass::alle_voll) << runde;
        p.offen.clear();
    }
    // Moved before anyone sees it, a place is still given back once.
    {
        Platz weiter(std::move(p.offen.emplace_back()));
        EXPECT_FALSE(p.offen.back());
        p.offen.pop_back();
        EXPECT_EQ(p.p.belegen(a, weiter), Einlass::frei);
        Platz dorthin(std::move(weiter));
    }
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(p.belegen(a), Einlass::frei);
    EXPECT_EQ(p.belegen(b), Einlass::alle_voll);
}

// An owner asked to end makes room at once for one new client, however long it takes to go, and the
// count is right again after both have gone.
TEST(Plaetze, GeraeumtMachtPlatzFuerEinenNeuen) {
    Belegt p(2, 2, 2);
    const Quelle a = q("192.0.2.1"), b = q("192.0.2.2");
    ASSERT_EQ(p.belegen(a), Einlass::frei);
    ASSERT_EQ(p.belegen(a), Einlass::frei);
    Platz& weicht = p.offen.front();
    EXPECT_TRUE(p.p.raeumen(weicht));
    EXPECT_TRUE(weicht.geraeumt());
    EXPECT_FALSE(p.p.raeumen(weicht)) << "one leaving owner made room twice";
    EXPECT_EQ(p.belegen(b), Einlass::frei);
    EXPECT_EQ(p.belegen(b), Einlass::alle_voll);
    p.offen.pop_front();  // it has gone
    EXPECT_EQ(p.belegen(b), Einlass::alle_voll);
    p.offen.clear();
    EXPECT_EQ(p.belegen(b), Einlass::frei);
    EXPECT_EQ(p.belegen(b), Einlass::frei);
}

}  // namespace
}  // namespace zeitdienst
