// One event loop of the time service and what it keeps for its connections: the tick its held
// requests wait for, the idle kept-alive connections and those reading a head, either of which may
// have to give its place to a new client, the sweep that ends overstayed ones, and the answers'
// bytes of the current second.
// SPDX-License-Identifier: MIT
#pragma once

#include <utility>  // before Asio: its coroutine header uses std::exchange without it

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/intrusive/list.hpp>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "antwort.h"
#include "einstellungen.h"
#include "plaetze.h"
#include "protokoll.h"
#include "sitzung.h"
#include "uhrlage.h"
#include "zeittakt.h"

namespace zeitdienst {

class Schleife;

// What all loops share.
struct Gemeinsam {
    Gemeinsam(const Einstellungen& einstellungen, Protokoll& p)
        : e(einstellungen),
          plaetze(e.verbindungen_hoechstens, e.je_adresse_hoechstens, e.je_netz_hoechstens()),
          protokoll(p),
          uhr(!e.ungestellt_bedienen, std::chrono::milliseconds(e.hoechstfehler_ms)) {}
    const Einstellungen& e;
    Plaetze plaetze;
    Protokoll& protokoll;
    Uhrwaechter uhr;
    std::vector<Schleife*> schleifen;
};

class Schleife {
public:
    explicit Schleife(Gemeinsam& g) : g_(g) {}
    // Held connections go before the context their sockets belong to.
    ~Schleife() { wartend_.clear(); }
    Schleife(const Schleife&) = delete;
    Schleife& operator=(const Schleife&) = delete;

    boost::asio::io_context& ioc() { return ioc_; }
    Gemeinsam& g() { return g_; }

    // Every connection of this loop, so the sweep can end those that overstay.
    void anmelden(Sitzung& s);
    void abmelden(Sitzung& s);

    // A connection with an answer for the next second it can reach, leaving `vorlauf` before it begins.
    void festhalten(std::shared_ptr<Sitzung> s, std::chrono::nanoseconds vorlauf);

    // A kept-alive connection waiting for its next request, which may be closed for a new client.
    void ruhen(Sitzung& s);
    // Its next request has come (or the connection ended): false if it was closed for a new client
    // meanwhile. The same for a connection reading a head, at each read.
    bool aufwachen(Sitzung& s);
    // From any loop: closes this loop's longest idle connection and gives its place back. False if none is idle.
    bool verdraengen();

    // A connection waiting for the rest of a request head, from the first wait for it until it is whole.
    void kopf_lesen(Sitzung& s);
    // The head is whole: false if the connection was closed for a new client meanwhile.
    bool kopf_gelesen(Sitzung& s);
    // From any loop: since when this loop's longest reading head has been read; false if none is.
    bool aeltester_kopf(Monoton& seit);
    // From any loop: closes the connection that has been reading its head the longest and gives its
    // place back. False if none is reading one.
    bool kopf_verdraengen();

    // The bytes of `a` for these seconds, made once per second and form.
    const std::string& text(const Antwort& a, Sekunde text, Sekunde datum);

    // An access-log line; the lines of a tick go out together after its answers.
    void protokollieren(const std::string& zeile);

private:
    void planen(Zeitpunkt wand, Monoton mono);
    void wecker_stellen();
    void wach();
    void vorbereiten();
    void ticken(Zeitpunkt wand);
    void kehren();

    using Alle = boost::intrusive::list<Sitzung, boost::intrusive::member_hook<Sitzung, Haken, &Sitzung::alle_haken>>;
    using Ruhend = boost::intrusive::list<Sitzung, boost::intrusive::member_hook<Sitzung, Haken, &Sitzung::ruhe_haken>>;
    using Koepfe = boost::intrusive::list<Sitzung, boost::intrusive::member_hook<Sitzung, Haken, &Sitzung::kopf_haken>>;
    struct Gehalten {
        Sekunde ziel;  // the second its answer names
        std::chrono::nanoseconds vorlauf;
        std::shared_ptr<Sitzung> sitzung;
        Zeitpunkt abflug() const { return Zeitpunkt(ziel) - vorlauf; }
    };
    struct Text {
        Antwort antwort;
        Sekunde text, datum;
        std::string bytes;
    };

    Gemeinsam& g_;
    // Before the context, whose pending work holds connections: they leave these lists when they go.
    Alle alle_;
    std::mutex ruhe_sperre_;  // for the two lists other loops take connections from
    Ruhend ruhend_;
    Koepfe koepfe_;           // in the order their heads began
    std::deque<Text> texte_;  // a deque, so a text stays where it is while others are added
    std::vector<Gehalten> wartend_;
    std::string protokoll_stapel_;
    bool im_takt_ = false;
    bool takt_gestellt_ = false;
    bool kehrt_ = false;
    Taktplan plan_{};

    boost::asio::io_context ioc_{1};
    boost::asio::steady_timer wecker_{ioc_};
    boost::asio::steady_timer kehrer_{ioc_};
};

}  // namespace zeitdienst
