// The time service's answers as functions: which answer a request gets and when, and its bytes read
// back by Beast's own parser, as a client would read them, also as a loop keeps them for a second.
// SPDX-License-Identifier: MIT
#include "antwort.h"

#include <gtest/gtest.h>

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include "textvorrat.h"
#include "uhrlage.h"

namespace zeitdienst {
namespace {

using namespace std::chrono;
using http::verb;

constexpr sys_seconds kSekunde{seconds{1796643909}};  // 2026-12-07 11:45:09 UTC

TEST(Beantworten, DieZeitAufZweiPfadenUndSonstNichts) {
    struct Fall {
        verb methode;
        const char* ziel;
        http::status status;
    };
    for (const Fall& f :
         {Fall{verb::get, "/", http::status::ok}, Fall{verb::get, "/zeit.php", http::status::ok},
          Fall{verb::get, "/zeit.php?a=1", http::status::ok}, Fall{verb::head, "/", http::status::ok},
          Fall{verb::get, "/zeitXphp", http::status::not_found},
          Fall{verb::get, "/zeit.php/mehr", http::status::not_found}, Fall{verb::get, "", http::status::not_found},
          Fall{verb::get, "*", http::status::not_found}, Fall{verb::post, "/zeit.php", http::status::not_found},
          Fall{verb::options, "/", http::status::not_found}}) {
        for (const bool sofort : {false, true}) {
            const Antwort a = beantworten({f.methode, f.ziel, 11, true, 0}, sofort, true);
            const auto was = std::string(http::to_string(f.methode)) + ' ' + f.ziel + (sofort ? " at once" : "");
            EXPECT_EQ(a.status, f.status) << was;
            EXPECT_EQ(a.zeit, f.status == http::status::ok) << was;
            EXPECT_EQ(a.nur_kopf, f.methode == verb::head) << was;
            // Only the time waits for the tick; a 404 has nothing to be on time for.
            EXPECT_EQ(a.zur_sekunde, f.status == http::status::ok && !sofort) << was;
        }
    }
}

TEST(Beantworten, HaeltDieVerbindungWieErbetenBisZurGrenzeWartenderAntworten) {
    EXPECT_TRUE(beantworten({verb::get, "/", 11, true, 0}, false, true).offen_halten);
    EXPECT_FALSE(beantworten({verb::get, "/", 11, false, 0}, false, true).offen_halten);
    const Antwort alt = beantworten({verb::get, "/", 10, false, 0}, false, true);
    EXPECT_TRUE(alt.http10);
    EXPECT_FALSE(alt.offen_halten);
    EXPECT_TRUE(beantworten({verb::get, "/", 11, true, kFliessband - 2}, false, true).offen_halten);
    EXPECT_FALSE(beantworten({verb::get, "/", 11, true, kFliessband - 1}, false, true).offen_halten);
}

// Pipelined requests are answered in their order, so whatever follows a held answer waits with it.
TEST(Beantworten, HinterEinerGehaltenenAntwortWartetJedeAntwort) {
    EXPECT_TRUE(beantworten({verb::get, "/nichts", 11, true, 1}, false, true).zur_sekunde);
    EXPECT_TRUE(beantworten({verb::get, "/nichts", 11, true, 1}, true, true).zur_sekunde);
    const Antwort fehler = fehlerantwort(http::status::bad_request, 2);
    EXPECT_TRUE(fehler.zur_sekunde);
    EXPECT_FALSE(fehler.offen_halten);
    EXPECT_FALSE(fehlerantwort(http::status::request_header_fields_too_large, 0).zur_sekunde);
}

// A client told its head is too long must not be told its body is, nor either when it sent nonsense.
TEST(Beantworten, JederLesefehlerSeinStatus) {
    EXPECT_EQ(fehlerstatus(http::error::header_limit), http::status::request_header_fields_too_large);
    EXPECT_EQ(fehlerstatus(http::error::body_limit), http::status::payload_too_large);
    EXPECT_EQ(fehlerstatus(http::error::bad_method), http::status::bad_request);
    EXPECT_EQ(fehlerstatus(http::error::bad_version), http::status::bad_request);
}

// A host whose clock is not known to be right hands out no time: 503 at once, asked back later, and
// nothing held for a tick. What is not the time is answered as ever.
TEST(Beantworten, OhneGestellteUhrKeineZeit) {
    for (const bool sofort : {false, true}) {
        const Antwort a = beantworten({verb::get, "/zeit.php", 11, true, 0}, sofort, false);
        EXPECT_EQ(a.status, http::status::service_unavailable);
        EXPECT_FALSE(a.zeit);
        EXPECT_FALSE(a.zur_sekunde);
        EXPECT_TRUE(a.offen_halten);
        EXPECT_EQ(beantworten({verb::get, "/nichts", 11, true, 0}, sofort, false).status, http::status::not_found);
    }
}

// What a client reads of the bytes: Beast's parser stands in for it.
template <class Rumpf>
http::response<Rumpf> lesen(const std::string& bytes, bool nach_head = false) {
    http::response_parser<Rumpf> p;
    p.skip(nach_head);
    p.eager(true);
    boost::beast::error_code ec;
    const std::size_t n = p.put(boost::asio::buffer(bytes), ec);
    EXPECT_FALSE(ec) << ec.message() << " in\n" << bytes;
    EXPECT_TRUE(p.is_done()) << bytes;
    EXPECT_EQ(n, bytes.size()) << "bytes after the answer:\n" << bytes;
    return p.release();
}

TEST(Antworttext, DieZeitIhrerSekundeInDerFormDieClientsLesen) {
    ASSERT_TRUE(zone_waehlen("Europe/Berlin"));
    const Antwort a = beantworten({verb::get, "/zeit.php", 11, true, 0}, false, true);
    const auto r = lesen<http::string_body>(antworttext(a, kSekunde, kSekunde - 1s));
    EXPECT_EQ(r.result(), http::status::ok);
    EXPECT_EQ(r.body(), "2026-12-07 12:45:09");
    EXPECT_EQ(r[http::field::date], "Mon, 07 Dec 2026 11:45:08 GMT");
    EXPECT_EQ(r[http::field::content_type], "text/plain; charset=utf-8");
    EXPECT_EQ(r[http::field::cache_control], "no-store");
    EXPECT_TRUE(r.keep_alive());
}

TEST(Antworttext, JedeFormWieIhreAnfrageSieVerlangte) {
    struct Fall {
        verb methode;
        const char* ziel;
        unsigned version;
        bool offen;
    };
    for (const Fall& f :
         {Fall{verb::get, "/", 11, false}, Fall{verb::get, "/", 10, true}, Fall{verb::get, "/", 10, false},
          Fall{verb::head, "/", 11, true}, Fall{verb::head, "/", 10, false}, Fall{verb::get, "/nichts", 11, true}}) {
        const Antwort a = beantworten({f.methode, f.ziel, f.version, f.offen, 0}, true, true);
        const std::string bytes = antworttext(a, kSekunde, kSekunde);
        const auto was = std::string(http::to_string(f.methode)) + ' ' + f.ziel + " HTTP/" + std::to_string(f.version) +
                         (f.offen ? " keep-alive" : " close");
        const auto r = lesen<http::string_body>(bytes, f.methode == verb::head);
        EXPECT_EQ(r.version(), f.version) << was;
        EXPECT_EQ(r.keep_alive(), f.offen) << was;
        // A HEAD answer names the length of the body it leaves out.
        const std::size_t laenge = a.zeit ? kTextLaenge : 0;
        EXPECT_EQ(r[http::field::content_length], std::to_string(laenge)) << was;
        // The log counts what was sent.
        EXPECT_EQ(rumpflaenge(a), f.methode == verb::head ? 0 : laenge) << was;
        if (f.methode == verb::head) {
            EXPECT_EQ(bytes.substr(bytes.size() - 4), "\r\n\r\n") << was;
        }
    }
    const auto ungestellt = lesen<http::string_body>(
        antworttext(beantworten({verb::get, "/", 11, true, 0}, false, false), kSekunde, kSekunde));
    EXPECT_EQ(ungestellt.result(), http::status::service_unavailable);
    EXPECT_EQ(ungestellt[http::field::retry_after], std::to_string(kNochmalNachSekunden));
    EXPECT_EQ(ungestellt.body(), "");
    for (const auto status :
         {http::status::bad_request, http::status::payload_too_large, http::status::request_header_fields_too_large}) {
        const auto r = lesen<http::string_body>(antworttext(fehlerantwort(status, 0), kSekunde, kSekunde));
        EXPECT_EQ(r.result(), status);
        EXPECT_FALSE(r.keep_alive()) << r.result_int();
        EXPECT_EQ(r.body(), "");
    }
}

// An answer at once: the body names the nearest second, which the client takes as the time of arrival;
// the Date header the second it is in, as HTTP wants it.
TEST(Antworttext, SofortImRumpfGerundetImDatumAbgeschnitten) {
    const Genannt spaet = sofort_genannt(Zeitpunkt(kSekunde) + 600ms);
    EXPECT_EQ(spaet.text, kSekunde + 1s);
    EXPECT_EQ(spaet.datum, kSekunde);
    const Genannt frueh = sofort_genannt(Zeitpunkt(kSekunde) + 400ms);
    EXPECT_EQ(frueh.text, kSekunde);
    EXPECT_EQ(frueh.datum, kSekunde);
}

// A loop makes each form's bytes once a second: they must be those of the seconds asked for, never
// the last ones made, nor another form's.
TEST(Textvorrat, JedeFormUndSekundeIhreBytes) {
    ASSERT_TRUE(zone_waehlen("Europe/Berlin"));
    const Antwort get = beantworten({verb::get, "/", 11, true, 0}, false, true);
    const Antwort head = beantworten({verb::head, "/", 11, true, 0}, false, true);
    Textvorrat v;
    const std::string& erster = v.text(get, kSekunde, kSekunde);
    EXPECT_EQ(v.text(head, kSekunde, kSekunde), antworttext(head, kSekunde, kSekunde));
    EXPECT_EQ(erster, antworttext(get, kSekunde, kSekunde));
    EXPECT_EQ(v.text(get, kSekunde + 1s, kSekunde + 1s), antworttext(get, kSekunde + 1s, kSekunde + 1s));
    // An answer at once may name the next second in its body while its Date header is still this one.
    EXPECT_EQ(v.text(get, kSekunde + 1s, kSekunde), antworttext(get, kSekunde + 1s, kSekunde));
    EXPECT_EQ(v.text(head, kSekunde, kSekunde), antworttext(head, kSekunde, kSekunde));
}

}  // namespace
}  // namespace zeitdienst
