// The time service's answers: which one a request gets, and its bytes, written by Beast.
// SPDX-License-Identifier: MIT
#include "antwort.h"

#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <sstream>

#include "uhrlage.h"

namespace zeitdienst {

Antwort beantworten(const Anfrage& anfrage, bool sofort, bool uhr_synchron) {
    const std::string_view pfad = anfrage.ziel.substr(0, anfrage.ziel.find('?'));
    const bool lesend = anfrage.methode == http::verb::get || anfrage.methode == http::verb::head;
    const bool bekannt = lesend && (pfad == "/" || pfad == "/zeit.php");
    Antwort a;
    a.status = !bekannt ? http::status::not_found : uhr_synchron ? http::status::ok : http::status::service_unavailable;
    a.zeit = bekannt && uhr_synchron;
    a.nur_kopf = anfrage.methode == http::verb::head;
    a.http10 = anfrage.version < 11;
    a.offen_halten = anfrage.offen_halten && anfrage.wartend + 1 < kFliessband;
    // Answers leave in the order of their requests, so one behind a held answer waits with it.
    a.zur_sekunde = (a.zeit && !sofort) || anfrage.wartend > 0;
    return a;
}

Antwort fehlerantwort(http::status status, int wartend) {
    Antwort a;
    a.status = status;
    a.zur_sekunde = wartend > 0;
    return a;
}

http::status fehlerstatus(boost::system::error_code ec) {
    if (ec == http::error::header_limit) return http::status::request_header_fields_too_large;
    if (ec == http::error::body_limit) return http::status::payload_too_large;
    return http::status::bad_request;
}

std::string antworttext(const Antwort& antwort, Sekunde text, Sekunde datum) {
    const std::string rumpf = antwort.zeit ? ortszeit_text(text) : std::string();
    const auto kopf_setzen = [&](auto& nachricht) {
        nachricht.set(http::field::date, http_datum(datum));
        nachricht.set(http::field::content_type, "text/plain; charset=utf-8");
        nachricht.set(http::field::cache_control, "no-store");
        if (antwort.status == http::status::service_unavailable)
            nachricht.set(http::field::retry_after, std::to_string(kNochmalNachSekunden));
        nachricht.keep_alive(antwort.offen_halten);
    };
    std::ostringstream aus;
    const unsigned version = antwort.http10 ? 10 : 11;
    if (antwort.nur_kopf) {
        // The length the body would have, without the body.
        http::response<http::empty_body> r{antwort.status, version};
        kopf_setzen(r);
        r.content_length(rumpf.size());
        aus << r;
    } else {
        http::response<http::string_body> r{antwort.status, version, rumpf};
        kopf_setzen(r);
        r.prepare_payload();
        aus << r;
    }
    return std::move(aus).str();
}

Genannt sofort_genannt(Zeitpunkt jetzt) {
    return {antwortzeit(jetzt, true).sekunde, std::chrono::floor<std::chrono::seconds>(jetzt)};
}

std::size_t rumpflaenge(const Antwort& antwort) { return antwort.zeit && !antwort.nur_kopf ? kTextLaenge : 0; }

}  // namespace zeitdienst
