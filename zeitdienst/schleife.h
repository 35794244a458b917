// One event loop of the time service and what it keeps for its connections: the ticks its held
// requests wait for, the kept-alive connections waiting for their next request or answer and those
// reading a head, any of which may have to give its place to a new client, the sweep that ends
// overstayed ones, and the answers' bytes of the current second.
// SPDX-License-Identifier: MIT
#pragma once

#include <utility>  // before Asio: its coroutine header uses std::exchange without it

#include <boost/asio/io_context.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/intrusive/list.hpp>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "einstellungen.h"
#include "plaetze.h"
#include "protokoll.h"
#include "textvorrat.h"
#include "uhrlage.h"
#include "umfeld.h"
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

using Haken = boost::intrusive::list_member_hook<>;

// What the loop keeps of one of its connections. An entry stays the loop's when its connection ends,
// for the next one, so that a connection costs the loop no allocation: a loop keeps as many as it
// has had connections at once.
struct Eintrag {
    Sitzung* sitzung = nullptr;          // for this loop's thread only
    std::weak_ptr<Sitzung> fuer_andere;  // for other loops, while in ruhend_ or koepfe_
    Haken alle_haken;                    // in alle_, or in frei_ when unused; this loop's thread only
    Haken ruhe_haken;                    // in ruhend_, under ruhe_sperre_
    Haken kopf_haken;                    // in koepfe_, under ruhe_sperre_
    Monoton kopf_seit{};                 // since when it has been reading that head; under ruhe_sperre_
};

class Schleife final : private Wirt {
public:
    // Throws std::system_error when the system has no timer left for it.
    explicit Schleife(Gemeinsam& g);
    // Held connections go before the context their sockets belong to.
    ~Schleife();
    Schleife(const Schleife&) = delete;
    Schleife& operator=(const Schleife&) = delete;

    boost::asio::io_context& ioc() { return ioc_; }
    Gemeinsam& g() { return g_; }
    // For this loop's new connections.
    const Umfeld& umfeld() const { return umfeld_; }

    // From any loop: asks the connection that has been waiting the longest for its next request, or
    // for the tick of one, to end, and counts its place as free. False if none waits.
    bool verdraengen();
    // From any loop: since when this loop's longest reading head has been read; false if none is.
    bool aeltester_kopf(Monoton& seit);
    // From any loop: asks the connection that has been reading its head the longest to end, and
    // counts its place as free. False if none is reading one.
    bool kopf_verdraengen();

private:
    // What its connections call, through Umfeld::wirt.
    Eintrag& anmelden(Sitzung& s) override;
    void abmelden(Eintrag& e) override;
    void ruhen(Eintrag& e) override;
    void aufwachen(Eintrag& e) override;
    void kopf_lesen(Eintrag& e) override;
    void kopf_gelesen(Eintrag& e) override;
    void festhalten(std::shared_ptr<Sitzung> s, std::chrono::nanoseconds vorlauf, Halt halt) override;
    void protokollieren(const std::string& zeile) override;

    void planen(Zeitpunkt wand, Monoton mono);
    void wecker_stellen();
    void auf_wecker_warten();
    void wach();
    void ticken(Zeitpunkt wand);
    void kehren_lassen();
    void kehren();
    // Under ruhe_sperre_: the first of `liste` whose connection still lives, taken out of it and asked
    // to end; false if there is none.
    template <class Liste>
    bool erste_verdraengen(Liste& liste);

    using Alle = boost::intrusive::list<Eintrag, boost::intrusive::member_hook<Eintrag, Haken, &Eintrag::alle_haken>>;
    using Ruhend = boost::intrusive::list<Eintrag, boost::intrusive::member_hook<Eintrag, Haken, &Eintrag::ruhe_haken>>;
    using Koepfe = boost::intrusive::list<Eintrag, boost::intrusive::member_hook<Eintrag, Haken, &Eintrag::kopf_haken>>;
    struct Gehalten {
        Sekunde ziel;  // the second its answer names
        std::chrono::nanoseconds vorlauf;
        std::shared_ptr<Sitzung> sitzung;
        Halt halt;
        Zeitpunkt abflug() const { return Zeitpunkt(ziel) - vorlauf; }
        // For the heap, whose front is the one that leaves first.
        friend bool operator<(const Gehalten& a, const Gehalten& b) { return a.abflug() > b.abflug(); }
    };

    Gemeinsam& g_;
    // Before the lists, which must let go of them first, and before the context, whose pending work
    // holds connections: they leave the lists when they go. A deque, so an entry stays where it is.
    std::deque<Eintrag> eintraege_;
    Alle alle_;
    Alle frei_;
    std::mutex ruhe_sperre_;  // for the two lists other loops take connections from
    Ruhend ruhend_;
    Koepfe koepfe_;  // in the order their heads began
    Textvorrat texte_;
    const Umfeld umfeld_;  // before the context, as its connections use it to their end
    // A heap: planning the next tick and taking its answers cost the logarithm of how many are held,
    // whatever their leads.
    std::vector<Gehalten> gehalten_;
    std::vector<Gehalten> faellig_;  // those of the tick under way; kept for its capacity
    std::string protokoll_stapel_;
    bool im_takt_ = false;
    bool takt_gestellt_ = false;
    bool kehrt_ = false;
    Taktplan plan_{};
    Weckverzug verzug_;
    Wartezeit wartezeit_;

    boost::asio::io_context ioc_{1};
    // The tick's timer, a timerfd of the loop's own set to an instant of the monotonic clock: setting
    // it again is one system call, where Asio's timer cancels its wait and runs a handler for that,
    // and with clients at every distance each new request may bring the tick forward.
    boost::asio::posix::stream_descriptor wecker_{ioc_};
    bool wecker_wartet_ = false;
    boost::asio::steady_timer kehrer_{ioc_};
};

}  // namespace zeitdienst
