// What a connection of the time service is given when it is made: the service's settings, places,
// clock state and log, its loop's context and answer texts, and the loop itself as far as a
// connection may call on it.
// SPDX-License-Identifier: MIT
#pragma once

#include <utility>  // before Asio: its coroutine header uses std::exchange without it

#include <boost/asio/io_context.hpp>
#include <chrono>
#include <memory>
#include <string>

#include "einstellungen.h"
#include "plaetze.h"
#include "protokoll.h"
#include "textvorrat.h"
#include "uhrlage.h"

namespace zeitdienst {

class Sitzung;

// What a loop keeps of one of its connections, from anmelden() to abmelden(). Only the loop sees inside.
struct Eintrag;

// The loop a connection lives in. Every call comes from the loop's own thread.
class Wirt {
public:
    // Every connection of the loop, so the sweep can end those that overstay (abgelaufen(), abbrechen()).
    virtual Eintrag& anmelden(Sitzung& s) = 0;
    virtual void abmelden(Eintrag& e) = 0;

    // A kept-alive connection waiting for its next request, or for the tick of its answer to one: it
    // may be asked to end for a new client (its Platz then says geraeumt()).
    virtual void ruhen(Eintrag& e) = 0;
    // Its next request has come, or its answer goes out.
    virtual void aufwachen(Eintrag& e) = 0;
    // A connection waiting for the rest of a request head, from the first wait for it until it is
    // whole; the one waiting the longest may be asked to end for a new client.
    virtual void kopf_lesen(Eintrag& e) = 0;
    virtual void kopf_gelesen(Eintrag& e) = 0;

    // A connection with an answer for the next second it can reach, leaving `vorlauf` before it
    // begins. The loop holds it until then, and calls its vorbereiten(), zur_sekunde() and
    // nach_der_sekunde(). With `Halt::nachschau` the connection has no answer yet but expects a
    // request by then: the loop calls its nachschauen() first, and if that holds an answer, the rest.
    enum class Halt { antwort, nachschau };
    virtual void festhalten(std::shared_ptr<Sitzung> s, std::chrono::nanoseconds vorlauf, Halt halt) = 0;

    // An access-log line; the lines of a tick go out together after its answers.
    virtual void protokollieren(const std::string& zeile) = 0;

protected:
    ~Wirt() = default;
};

struct Umfeld {
    const Einstellungen& e;
    Plaetze& plaetze;
    Uhrwaechter& uhr;
    Protokoll& protokoll;
    boost::asio::io_context& ioc;
    Textvorrat& texte;  // the loop's
    Wirt& wirt;
};

}  // namespace zeitdienst
