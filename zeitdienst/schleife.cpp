// One event loop of the time service: its ticks, its waiting connections and its sweep.
// SPDX-License-Identifier: MIT
#include "schleife.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/post.hpp>
#include <cerrno>
#include <cstdint>
#include <system_error>

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

Schleife::Schleife(Gemeinsam& g) : g_(g), umfeld_{g.e, g.plaetze, g.uhr, g.protokoll, ioc_, texte_, *this} {
    const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "timerfd_create");
    wecker_.assign(fd);
}

Schleife::~Schleife() { gehalten_.clear(); }

Eintrag& Schleife::anmelden(Sitzung& s) {
    Eintrag* e = nullptr;
    if (frei_.empty()) {
        e = &eintraege_.emplace_back();
    } else {
        e = &frei_.front();
        frei_.pop_front();
    }
    // Other loops reach an entry only through ruhend_ and koepfe_, under their lock, and this one is
    // in neither yet.
    e->sitzung = &s;
    e->fuer_andere = s.weak_from_this();
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

void Schleife::abmelden(Eintrag& e) {
    {
        const std::lock_guard sperre(ruhe_sperre_);
        if (e.ruhe_haken.is_linked()) ruhend_.erase(ruhend_.iterator_to(e));
        if (e.kopf_haken.is_linked()) koepfe_.erase(koepfe_.iterator_to(e));
        e.fuer_andere.reset();
    }
    alle_.erase(alle_.iterator_to(e));
    e.sitzung = nullptr;
    frei_.push_front(e);
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
    if (!e.ruhe_haken.is_linked()) ruhend_.push_back(e);
}

void Schleife::aufwachen(Eintrag& e) {
    const std::lock_guard sperre(ruhe_sperre_);
    if (e.ruhe_haken.is_linked()) ruhend_.erase(ruhend_.iterator_to(e));
}

// The connection ends on its own loop's thread, and gives its place back there as it goes: the
// caller only asks. A connection whose last owner has let go is on its way out already. The hold
// taken on it here may turn out to be its last, so it is always handed to its own loop: let go here,
// it would end on the wrong thread, under the lock it takes to leave the lists.
template <class Liste>
bool Schleife::erste_verdraengen(Liste& liste) {
    while (!liste.empty()) {
        Eintrag& e = liste.front();
        liste.pop_front();
        std::shared_ptr<Sitzung> opfer = e.fuer_andere.lock();
        if (!opfer) continue;
        const bool frei = g_.plaetze.raeumen(opfer->platz());
        boost::asio::post(ioc_, [opfer = std::move(opfer)] { opfer->abbrechen(); });
        if (frei) return true;
    }
    return false;
}

bool Schleife::verdraengen() {
    const std::lock_guard sperre(ruhe_sperre_);
    return erste_verdraengen(ruhend_);
}

void Schleife::kopf_lesen(Eintrag& e) {
    const std::lock_guard sperre(ruhe_sperre_);
    if (e.kopf_haken.is_linked()) return;
    e.kopf_seit = mono();
    koepfe_.push_back(e);
}

void Schleife::kopf_gelesen(Eintrag& e) {
    const std::lock_guard sperre(ruhe_sperre_);
    if (e.kopf_haken.is_linked()) koepfe_.erase(koepfe_.iterator_to(e));
}

bool Schleife::aeltester_kopf(Monoton& seit) {
    const std::lock_guard sperre(ruhe_sperre_);
    if (koepfe_.empty()) return false;
    seit = koepfe_.front().kopf_seit;
    return true;
}

bool Schleife::kopf_verdraengen() {
    const std::lock_guard sperre(ruhe_sperre_);
    return erste_verdraengen(koepfe_);
}

void Schleife::festhalten(std::shared_ptr<Sitzung> s, std::chrono::nanoseconds vorlauf, Halt halt) {
    gehalten_.push_back({zielsekunde(std::chrono::system_clock::now(), vorlauf), vorlauf, std::move(s), halt});
    const Zeitpunkt abflug = gehalten_.back().abflug();
    std::push_heap(gehalten_.begin(), gehalten_.end());
    // The timer stays as it is unless this answer would leave too late with the tick it waits for.
    if (takt_gestellt_ && abflug >= plan_.ziel - kBuendeln / 2) return;
    const Ablesung u = uhren_lesen();
    planen(u.wand, u.mono);
}

// A plan for the earliest of the held answers. Its texts are made while the loop waits: made at the
// tick, they would cost the first client of the second the time it takes to format a date.
void Schleife::planen(Zeitpunkt wand, Monoton mono) {
    const Gehalten& erster = gehalten_.front();
    // The next after it is one of the heap's first two children.
    Zeitpunkt zweiter = Zeitpunkt::max();
    for (std::size_t kind = 1; kind <= 2 && kind < gehalten_.size(); ++kind)
        zweiter = std::min(zweiter, gehalten_[kind].abflug());
    takt_gestellt_ = true;
    const std::chrono::nanoseconds warten =
        gehalten_.size() <= kWartenHoechstensGehalten && wartezeit_.frei(mono) ? kWarten : 0ns;
    plan_ = takt_planen(takt_fuer(erster.abflug(), zweiter), wand, mono, verzug_.vorhalt() + warten);
    plan_.warten = warten;
    erster.sitzung->vorbereiten(erster.ziel);
    wecker_stellen();
}

void Schleife::wecker_stellen() {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(plan_.wecken.time_since_epoch()).count();
    itimerspec wann{};
    // Zero would disarm it; an instant already past fires at once.
    wann.it_value.tv_sec = static_cast<std::time_t>(std::max<long long>(ns, 1) / 1'000'000'000);
    wann.it_value.tv_nsec = static_cast<long>(std::max<long long>(ns, 1) % 1'000'000'000);
    ::timerfd_settime(wecker_.native_handle(), TFD_TIMER_ABSTIME, &wann, nullptr);
    if (!wecker_wartet_) auf_wecker_warten();
}

void Schleife::auf_wecker_warten() {
    wecker_wartet_ = true;
    wecker_.async_wait(boost::asio::posix::stream_descriptor::wait_read, [this](boost::system::error_code ec) {
        wecker_wartet_ = false;
        if (ec) return;
        // Set anew after it fired and before this ran, it has nothing to read, and waits on.
        std::uint64_t abgelaufen = 0;
        if (::read(wecker_.native_handle(), &abgelaufen, sizeof abgelaufen) != sizeof abgelaufen)
            return auf_wecker_warten();
        if (takt_gestellt_) wach();
    });
}

// The tick is worked out afresh from the wall clock at each wake, so a clock set meanwhile either way
// costs a new plan, never an answer early, late or never.
void Schleife::wach() {
    const Ablesung u = uhren_lesen();
    verzug_.lernen(u.mono - plan_.wecken);
    const Taktschritt schritt = takt_pruefen(plan_, u.wand, u.mono);
    switch (schritt.art) {
        case Taktschritt::ticken: {
            Zeitpunkt wand = u.wand;
            if (plan_.warten > 0ns && wand < plan_.ziel) {
                // Never longer than the plan had it wake early, whatever the clock does meanwhile.
                const Monoton schluss = u.mono + plan_.vorhalt + kBuendeln;
                Monoton jetzt = u.mono;
                while (wand < plan_.ziel && jetzt < schluss) {
                    wand = std::chrono::system_clock::now();
                    jetzt = mono();
                }
                wartezeit_.verbraucht(jetzt - u.mono);
            }
            // Woken before the instant, as the timer is set to be, it sends what leaves then.
            return ticken(std::max(wand, plan_.ziel));
        }
        case Taktschritt::warten:
            plan_ = schritt.plan;
            return wecker_stellen();
        case Taktschritt::gestellt:
            // Each answer names the next second it can reach by the clock as it reads now.
            for (Gehalten& h : gehalten_)
                h.ziel = zielsekunde(u.wand, h.vorlauf);
            std::make_heap(gehalten_.begin(), gehalten_.end());
            return planen(u.wand, u.mono);
    }
}

void Schleife::ticken(Zeitpunkt wand) {
    takt_gestellt_ = false;
    faellig_.clear();
    while (!gehalten_.empty() && gehalten_.front().abflug() <= wand + kBuendeln / 2) {
        std::pop_heap(gehalten_.begin(), gehalten_.end());
        faellig_.push_back(std::move(gehalten_.back()));
        gehalten_.pop_back();
    }
    // What the looks find leaves with the rest of the tick; a look that holds nothing drops out.
    std::erase_if(faellig_, [](const Gehalten& h) {
        return h.halt == Halt::nachschau && !h.sitzung->nachschauen(h.abflug() + kBuendeln / 2);
    });
    im_takt_ = true;
    for (const Gehalten& h : faellig_)
        h.sitzung->zur_sekunde(genannte_sekunde(h.ziel, wand, h.vorlauf));
    // Held again, from pipelined requests, these wait for a later second, which they plan.
    for (const Gehalten& h : faellig_)
        h.sitzung->nach_der_sekunde(genannte_sekunde(h.ziel, wand, h.vorlauf));
    faellig_.clear();
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
