// One event loop of the time service: its tick, its idle connections and its sweep.
// SPDX-License-Identifier: MIT
#include "schleife.h"

#include <algorithm>
#include <boost/asio/post.hpp>
#include <iterator>

#include "sitzung.h"

namespace zeitdienst {

namespace {

// How often the sweep looks for connections that overstay; the bounds it keeps are this much coarse.
constexpr auto kKehrtakt = 100ms;

Monoton mono() { return std::chrono::steady_clock::now(); }

// Both clocks at one moment: read the monotonic one around the wall clock, and again if the thread
// was put aside in between, which would look like the wall clock being set.
struct Ablesung {
    Zeitpunkt wand;
    Monoton mono;
};
Ablesung uhren_lesen() {
    Ablesung u{};
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

Schleife::Schleife(Gemeinsam& g) : g_(g), umfeld_{g.e, g.plaetze, g.uhr, g.protokoll, ioc_, texte_, *this} {}

Schleife::~Schleife() { gehalten_.clear(); }

Eintrag& Schleife::anmelden(Sitzung& s) {
    Eintrag* e = nullptr;
    if (frei_.empty()) {
        e = &eintraege_.emplace_back();
    } else {
        e = &frei_.front();
        frei_.pop_front();
    }
    // Other loops reach an entry only through ruhend_ and koepfe_, and this one is in neither yet.
    e->sitzung = &s;
    e->verdraengt = false;
    alle_.push_back(*e);
    if (!kehrt_) kehren_lassen();
    return *e;
}

void Schleife::kehren_lassen() {
    kehrt_ = true;
    kehrer_.expires_after(kKehrtakt);
    kehrer_.async_wait([this](boost::system::error_code ec) {
        if (!ec) kehren();
    });
}

bool Schleife::abmelden(Eintrag& e) {
    bool platz_eigen = false;
    {
        const std::lock_guard sperre(ruhe_sperre_);
        if (e.ruhe_haken.is_linked()) ruhend_.erase(ruhend_.iterator_to(e));
        if (e.kopf_haken.is_linked()) koepfe_.erase(koepfe_.iterator_to(e));
        platz_eigen = !e.verdraengt;
    }
    alle_.erase(alle_.iterator_to(e));
    e.sitzung = nullptr;
    frei_.push_front(e);
    return platz_eigen;
}

void Schleife::kehren() {
    const Monoton jetzt = mono();
    // Closing only cancels the connection's work; it leaves the list later, from its own handler.
    for (Eintrag& e : alle_)
        if (e.sitzung->abgelaufen(jetzt)) e.sitzung->abbrechen();
    kehrt_ = false;
    if (!alle_.empty()) kehren_lassen();
}

void Schleife::ruhen(Eintrag& e) {
    const std::lock_guard sperre(ruhe_sperre_);
    ruhend_.push_back(e);
}

bool Schleife::aufwachen(Eintrag& e) {
    const std::lock_guard sperre(ruhe_sperre_);
    if (e.verdraengt) return false;
    if (e.ruhe_haken.is_linked()) ruhend_.erase(ruhend_.iterator_to(e));
    return true;
}

bool Schleife::verdraengen() {
    std::shared_ptr<Sitzung> opfer;
    {
        const std::lock_guard sperre(ruhe_sperre_);
        if (ruhend_.empty()) return false;
        Eintrag& e = ruhend_.front();
        ruhend_.pop_front();
        e.verdraengt = true;
        // Alive: an idle connection's pending read holds it, and that read's handler takes this
        // lock before it lets go.
        opfer = e.sitzung->shared_from_this();
    }
    abbrechen_lassen(std::move(opfer));
    return true;
}

// The place is free now; the connection closes on its own loop's thread, and ends there: the caller
// keeps no hold on it, so it never leaves its loop's lists from another thread.
void Schleife::abbrechen_lassen(std::shared_ptr<Sitzung> opfer) {
    g_.plaetze.freigeben(opfer->quelle());
    boost::asio::post(ioc_, [opfer = std::move(opfer)] { opfer->abbrechen(); });
}

void Schleife::kopf_lesen(Eintrag& e) {
    const std::lock_guard sperre(ruhe_sperre_);
    if (e.kopf_haken.is_linked()) return;
    e.kopf_seit = mono();
    koepfe_.push_back(e);
}

bool Schleife::kopf_gelesen(Eintrag& e) {
    const std::lock_guard sperre(ruhe_sperre_);
    if (e.kopf_haken.is_linked()) koepfe_.erase(koepfe_.iterator_to(e));
    return !e.verdraengt;
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
            Eintrag& e = koepfe_.front();
            koepfe_.pop_front();
            opfer = e.sitzung->weak_from_this().lock();
            if (opfer) e.verdraengt = true;
        }
    }
    if (!opfer) return false;
    abbrechen_lassen(std::move(opfer));
    return true;
}

void Schleife::festhalten(std::shared_ptr<Sitzung> s, std::chrono::nanoseconds vorlauf) {
    gehalten_.push_back({zielsekunde(std::chrono::system_clock::now(), vorlauf), vorlauf, std::move(s)});
    // The timer stays as it is unless this answer leaves before the one it waits for.
    if (takt_gestellt_ && gehalten_.back().abflug() >= plan_.ziel) return;
    const Ablesung u = uhren_lesen();
    planen(u.wand, u.mono);
}

// A plan for the earliest of the held answers.
void Schleife::planen(Zeitpunkt wand, Monoton mono) {
    Zeitpunkt fruehest = Zeitpunkt::max();
    for (const Gehalten& h : gehalten_)
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
        const Ablesung u = uhren_lesen();
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
                for (Gehalten& h : gehalten_)
                    h.ziel = zielsekunde(u.wand, h.vorlauf);
                return planen(u.wand, u.mono);
        }
    }
}

// The texts of the coming tick are made while the loop waits for it: made at the tick, they cost
// the first client of the second the time it takes to format a date.
void Schleife::vorbereiten() {
    for (const Gehalten& h : gehalten_)
        if (h.abflug() <= plan_.ziel + kBuendeln)
            h.sitzung->vorbereiten(genannte_sekunde(h.ziel, plan_.ziel, h.vorlauf));
}

void Schleife::ticken(Zeitpunkt wand) {
    takt_gestellt_ = false;
    // Those that leave within kBuendeln go now too: a wake of its own for each would cost more than
    // the microseconds by which they arrive early.
    const auto faellig_ab = std::partition(gehalten_.begin(), gehalten_.end(),
                                           [&](const Gehalten& h) { return h.abflug() > wand + kBuendeln; });
    std::vector<Gehalten> faellig(std::make_move_iterator(faellig_ab), std::make_move_iterator(gehalten_.end()));
    gehalten_.erase(faellig_ab, gehalten_.end());
    im_takt_ = true;
    for (const Gehalten& h : faellig)
        h.sitzung->zur_sekunde(genannte_sekunde(h.ziel, wand, h.vorlauf));
    // Held again, from pipelined requests, these wait for a later second, which they plan.
    for (const Gehalten& h : faellig)
        h.sitzung->nach_der_sekunde(genannte_sekunde(h.ziel, wand, h.vorlauf));
    im_takt_ = false;
    g_.protokoll.schreiben(protokoll_stapel_);
    protokoll_stapel_.clear();
    if (!gehalten_.empty() && !takt_gestellt_) {
        const Ablesung u = uhren_lesen();
        planen(u.wand, u.mono);
    }
}

void Schleife::protokollieren(const std::string& zeile) {
    if (!im_takt_) return g_.protokoll.schreiben(zeile);
    protokoll_stapel_ += zeile;
}

}  // namespace zeitdienst
