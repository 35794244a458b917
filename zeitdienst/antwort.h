// What the time service answers to a request, and when: decided from the request alone, apart from
// any socket, and the answer's bytes as they go out for a given second.
// SPDX-License-Identifier: MIT
#pragma once

#include <utility>  // before Asio: its coroutine header uses std::exchange without it

#include <boost/beast/http/status.hpp>
#include <boost/beast/http/verb.hpp>
#include <boost/system/error_code.hpp>
#include <cstddef>
#include <string>
#include <string_view>

#include "zeittakt.h"

namespace zeitdienst {

namespace http = boost::beast::http;

// A client may have this many requests waiting for their answers on one connection; the last of
// them closes it. Held requests are answered together at the tick, so a client that pipelines gains
// nothing by it, and one connection cannot hold its place for more than a second with them.
inline constexpr int kFliessband = 8;

// What of a request its answer depends on.
struct Anfrage {
    http::verb methode = http::verb::unknown;
    std::string_view ziel;
    unsigned version = 11;
    bool offen_halten = true;  // what the client asked for; HTTP/1.1 keeps the connection by default
    int wartend = 0;           // requests of the same connection that are still waiting for their answer
};

struct Antwort {
    http::status status = http::status::ok;
    bool zeit = false;          // the body is the time text; otherwise there is none
    bool nur_kopf = false;      // HEAD: the header of the body, without it
    bool offen_halten = false;  // the connection stays open for the next request
    bool http10 = false;
    bool zur_sekunde = false;  // leaves at the next tick, not at once

    friend bool operator==(const Antwort&, const Antwort&) = default;
};

// `uhr_synchron`: whether this host's clock is known to be right. When it is not, a request for the time
// gets 503 at once, with Retry-After, instead of a time nobody should set a clock to.
Antwort beantworten(const Anfrage& anfrage, bool sofort, bool uhr_synchron);

// For a request that could not be read: 400, 413 or 431, and the connection closed after it, since
// what follows on it cannot be trusted to be the next request. It waits behind `wartend` held answers.
Antwort fehlerantwort(http::status status, int wartend);
// Which of them for the reader's error `ec`: 431 for a head too long, 413 for a body too long, else 400.
http::status fehlerstatus(boost::system::error_code ec);

// The whole answer as sent: status line, headers and body, the body naming `text` and the Date header
// `datum` (for an answer at once: now rounded for the client, and now cut off, as HTTP wants it).
std::string antworttext(const Antwort& antwort, Sekunde text, Sekunde datum);

// The seconds an answer at once names, sent at `jetzt`: in its body now rounded for the client, in
// its Date header (and the log) now cut off. A held answer names its second in both.
struct Genannt {
    Sekunde text;
    Sekunde datum;
};
Genannt sofort_genannt(Zeitpunkt jetzt);

// The length of the body as sent, for the log: a HEAD answer names one it does not send.
std::size_t rumpflaenge(const Antwort& antwort);

}  // namespace zeitdienst
