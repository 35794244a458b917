// One event loop of the time service: its tick, its idle connections and its sweep.
// SPDX-License-Identifier: MIT
#include "schleife.h"

#include <algorithm>
#include <boost/asio/post.hpp>
#include <iterator>

namespace zeitdienst {

namespace {

// How often the sweep looks for connections that overstay; the bounds it keeps are this much coarse.
constexpr auto kKehrtakt = 100ms;

Monoton mono() { return std::chrono::steady_clock::now(); }

// Both clocks at one moment: read the monotonic one around the wall clock, and again if the thread
// was put aside in between, which would look like the wall clock being set.
struct Uhrzeit {
    Zeitpunkt wand;
    Monoton mono;
};
Uhrzeit uhren_lesen() {
    Uhrzeit u{};
    for (int versuch = 0; versuch < 5; ++versuch) {
        const Monoton vorher = mono();
        u.wand = std::chrono::system_clock::now();
        const Monoton nachher = mono();
        u.mono = vorher + (nachher - vorher) / 2;
        if (nachher - vorher < kUhrGestellt / 10) break;
    }
    return u;
}

}  // namespace

void Schleife::anmelden(Sitzung& s) {
    alle_.push_back(s);
    if (kehrt_) return;
    kehrt_ = true;
    kehrer_.expires_after(kKehrtakt);
    kehrer_.async_wait([this](boost::system::error_code ec) {
        if (!ec) kehren();
    });
}

void Schleife::abmelden(Sitzung& s) {
    if (s.alle_haken.is_linked()) alle_.erase(alle_.iterator_to(s));
    const std::lock_guard sperre(ruhe_sperre_);
    if (s.ruhe_haken.is_linked()) ruhend_.erase(ruhend_.iterator_to(s));
    if (s.kopf_haken.is_linked()) koepfe_.erase(koepfe_.iterator_to(s));
}

void Schleife::kehren() {
    const Monoton jetzt = mono();
    // Closing only cancels the connection's work; it leaves the list later, from its own handler.
    for (Sitzung& s : alle_)
        if (s.abgelaufen(jetzt)) s.abbrechen();
    if (alle_.empty()) {
        kehrt_ = false;
        return;
    }
    kehrer_.expires_after(kKehrtakt);
    kehrer_.async_wait([this](boost::system::error_code ec) {
        if (!ec) kehren();
    });
}

void Schleife::ruhen(Sitzung& s) {
    const std::lock_guard sperre(ruhe_sperre_);
    ruhend_.push_back(s);
}

bool Schleife::aufwachen(Sitzung& s) {
    const std::lock_guard sperre(ruhe_sperre_);
    if (s.verdraengt) return false;
    if (s.ruhe_haken.is_linked()) ruhend_.erase(ruhend_.iterator_to(s));
    return true;
}

bool Schleife::verdraengen() {
    std::shared_ptr<Sitzung> opfer;
    {
        const std::lock_guard sperre(ruhe_sperre_);
        if (ruhend_.empty()) return false;
        Sitzung& s = ruhend_.front();
        ruhend_.pop_front();
        s.verdraengt = true;
        // Alive: an idle connection's pending read holds it, and that read's handler takes this
        // lock before it lets go.
        opfer = s.shared_from_this();
    }
    // The place is free now; the connection closes on its own loop's thread.
    g_.plaetze.freigeben(opfer->quelle());
    boost::asio::post(ioc_, [opfer] { opfer->abbrechen(); });
    return true;
}

void Schleife::kopf_lesen(Sitzung& s) {
    const std::lock_guard sperre(ruhe_sperre_);
    if (s.kopf_haken.is_linked()) return;
    s.kopf_seit = mono();
    koepfe_.push_back(s);
}

bool Schleife::kopf_gelesen(Sitzung& s) {
    const std::lock_guard sperre(ruhe_sperre_);
    if (s.kopf_haken.is_linked()) koepfe_.erase(koepfe_.iterator_to(s));
    return !s.verdraengt;
}

bool Schleife::aeltester_kopf(Monoton& seit) {
    const std::lock_guard sperre(ruhe_sperre_);
    if (koepfe_.empty()) return false;
    seit = koepfe_.front().kopf_seit;
    return true;
}

// A connection stays in the list while it works on what it has read, and may be on its way out: one
// whose last owner has let go gives its place back itself.
bool Schleife::kopf_verdraengen() {
    std::shared_ptr<Sitzung> opfer;
    {
        const std::lock_guard sperre(ruhe_sperre_);
        while (!koepfe_.empty() && !opfer) {
            Sitzung& s = koepfe_.front();
            koepfe_.pop_front();
            opfer = s.weak_from_this().lock();
            if (opfer) s.verdraengt = true;
        }
    }
    if (!opfer) return false;
    g_.plaetze.freigeben(opfer->quelle());
    boost::asio::post(ioc_, [opfer] { opfer->abbrechen(); });
    return true;
}

void Schleife::festhalten(std::shared_ptr<Sitzung> s, std::chrono::nanoseconds vorlauf) {
    wartend_.push_back({zielsekunde(std::chrono::system_clock::now(), vorlauf), vorlauf, std::move(s)});
    // The timer stays as it is unless this answer leaves before the one it waits for.
    if (takt_gestellt_ && wartend_.back().abflug() >= plan_.ziel) return;
    const Uhrzeit u = uhren_lesen();
    planen(u.wand, u.mono);
}

// A plan for the earliest of the held answers.
void Schleife::planen(Zeitpunkt wand, Monoton mono) {
    Zeitpunkt fruehest = Zeitpunkt::max();
    for (const Gehalten& h : wartend_)
        fruehest = std::min(fruehest, h.abflug());
    takt_gestellt_ = true;
    plan_ = takt_planen(fruehest, wand, mono);
    wecker_stellen();
}

void Schleife::wecker_stellen() {
    wecker_.expires_at(plan_.wecken);
    wecker_.async_wait([this](boost::system::error_code ec) {
        if (!ec) wach();
    });
}

// The tick is worked out afresh from the wall clock at each wake, so a clock set meanwhile either way
// costs a new plan, never an answer early, late or never.
void Schleife::wach() {
    bool vorbereitet = false;
    for (;;) {
        const Uhrzeit u = uhren_lesen();
        const Taktschritt schritt = takt_pruefen(plan_, u.wand, u.mono);
        switch (schritt.art) {
            case Taktschritt::ticken:
                return ticken(u.wand);
            case Taktschritt::gleich_wieder:
                if (!vorbereitet) vorbereiten();
                vorbereitet = true;
                continue;
            case Taktschritt::warten:
                plan_ = schritt.plan;
                return wecker_stellen();
            case Taktschritt::gestellt:
                // Each answer names the next second it can reach by the clock as it reads now.
                for (Gehalten& h : wartend_)
                    h.ziel = zielsekunde(u.wand, h.vorlauf);
                return planen(u.wand, u.mono);
        }
    }
}

// The texts of the coming tick are made while the loop waits for it: made at the tick, they cost
// the first client of the second the time it takes to format a date.
void Schleife::vorbereiten() {
    for (const Gehalten& h : wartend_)
        if (h.abflug() <= plan_.ziel + kBuendeln) h.sitzung->vorbereiten(genannte_sekunde(h.ziel, plan_.ziel, h.vorlauf));
}

void Schleife::ticken(Zeitpunkt wand) {
    takt_gestellt_ = false;
    // Those that leave within kBuendeln go now too: a wake of its own for each would cost more than
    // the microseconds by which they arrive early.
    const auto faellig_ab = std::partition(wartend_.begin(), wartend_.end(),
                                           [&](const Gehalten& h) { return h.abflug() > wand + kBuendeln; });
    std::vector<Gehalten> faellig(std::make_move_iterator(faellig_ab), std::make_move_iterator(wartend_.end()));
    wartend_.erase(faellig_ab, wartend_.end());
    im_takt_ = true;
    for (const Gehalten& h : faellig)
        h.sitzung->zur_sekunde(genannte_sekunde(h.ziel, wand, h.vorlauf));
    // Held again, from pipelined requests, these wait for a later second, which they plan.
    for (const Gehalten& h : faellig)
        h.sitzung->nach_der_sekunde(genannte_sekunde(h.ziel, wand, h.vorlauf));
    im_takt_ = false;
    g_.protokoll.schreiben(protokoll_stapel_);
    protokoll_stapel_.clear();
    if (!wartend_.empty() && !takt_gestellt_) {
        const Uhrzeit u = uhren_lesen();
        planen(u.wand, u.mono);
    }
}

void Schleife::protokollieren(const std::string& zeile) {
    if (!im_takt_) return g_.protokoll.schreiben(zeile);
    protokoll_stapel_ += zeile;
}

const std::string& Schleife::text(const Antwort& a, Sekunde text, Sekunde datum) {
    for (Text& t : texte_) {
        if (t.antwort != a) continue;
        if (t.text != text || t.datum != datum) {
            t.bytes = antworttext(a, text, datum);
            t.text = text;
            t.datum = datum;
        }
        return t.bytes;
    }
    texte_.push_back({a, text, datum, antworttext(a, text, datum)});
    return texte_.back().bytes;
}

}  // namespace zeitdienst
