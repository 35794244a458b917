// zeitdienst: an HTTP time service that answers "YYYY-MM-DD HH:MM:SS" at the start of each second.
// Reads the options, opens what needs root, gives root and every capability up, and runs one event
// loop per thread.
// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <utility>  // before Asio: its coroutine header uses std::exchange without it

#include <algorithm>
#include <boost/asio/signal_set.hpp>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "einstellungen.h"
#include "lauscher.h"
#include "protokoll.h"
#include "rechte.h"
#include "schleife.h"
#include "zeittakt.h"

using namespace zeitdienst;

namespace {

// Every held client is an open descriptor: take all the kernel allows.
void descriptoren_erhoehen() {
    rlimit r{};
    if (::getrlimit(RLIMIT_NOFILE, &r) == 0 && r.rlim_cur < r.rlim_max) {
        r.rlim_cur = r.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &r);
    }
}

void stoppsignale(int wie) {
    sigset_t signale;
    sigemptyset(&signale);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&signale, s);
    pthread_sigmask(wie, &signale, nullptr);
}

// SIGINT and SIGTERM stop every loop; SIGHUP opens the log afresh.
void auf_signale_hoeren(boost::asio::signal_set& signale, const std::vector<std::unique_ptr<Schleife>>& schleifen,
                        Protokoll& protokoll) {
    signale.async_wait([&signale, &schleifen, &protokoll](boost::system::error_code ec, int signal) {
        if (ec) return;
        if (signal != SIGHUP) {
            for (const auto& s : schleifen)
                s->ioc().stop();
            return;
        }
        if (!protokoll.neu_oeffnen())
            std::fprintf(stderr, "zeitdienst: cannot open the log afresh, writing on to the old one: %s\n",
                         std::strerror(errno));
        auf_signale_hoeren(signale, schleifen, protokoll);
    });
}

}  // namespace

int main(int argc, char** argv) {
    Einstellungen e;
    switch (einstellungen_lesen(argc, argv, e)) {
        case Gelesen::hilfe:
            verwendung(stdout, argv[0]);
            return 0;
        case Gelesen::version:
            std::printf("zeitdienst %s\n", ZEITDIENST_VERSION);
            return 0;
        case Gelesen::falsch:
            verwendung(stderr, argv[0]);
            return 2;
        case Gelesen::weiter:
            break;
    }
    if (!e.zone.empty() && !zone_waehlen(e.zone)) {
        std::fprintf(stderr, "zeitdienst: no time zone %s\n", e.zone.c_str());
        return 2;
    }
    ::tzset();
    std::signal(SIGPIPE, SIG_IGN);
    descriptoren_erhoehen();

    // What root may be needed for comes first: the log and the port. A log made now becomes the
    // user's, who opens it afresh on SIGHUP.
    // Room for a line from every connection at once, as when a tick answers them all.
    Protokoll protokoll(std::clamp<std::size_t>(static_cast<std::size_t>(e.verbindungen_hoechstens) * 128,
                                                std::size_t{64} << 10, std::size_t{4} << 20));
    if (!protokoll.oeffnen(e.protokoll)) {
        std::fprintf(stderr, "zeitdienst: cannot open the log %s: %s\n", e.protokoll.c_str(), std::strerror(errno));
        return 1;
    }
    Lauscher l;
    if (!lauschen(e, l)) return 1;
    if (const std::string fehler = rechte_abgeben(e.benutzer, protokoll.neu_gemacht()); !fehler.empty()) {
        std::fprintf(stderr, "zeitdienst: %s\n", fehler.c_str());
        return 1;
    }
    // The stop signals reach the main thread alone, which hands them to the loops: the threads
    // started from here on keep them blocked, and so does the main thread once the loops have
    // stopped, so that a second SIGTERM (timeout(1) sends one to the process and one to its group)
    // cannot end the process on its way out with the signal's status instead of its own.
    stoppsignale(SIG_BLOCK);
    protokoll.starten();

    Gemeinsam g(e, protokoll);
    // The clock's state is known, and logged, before the first client asks.
    g.uhr.synchron();
    const long faeden = e.faeden > 0 ? e.faeden : std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::unique_ptr<Schleife>> schleifen;
    std::vector<std::unique_ptr<Annehmer>> annehmer;
    for (long i = 0; i < faeden; ++i) {
        try {
            schleifen.push_back(std::make_unique<Schleife>(g));
        } catch (const std::system_error& fehler) {
            std::fprintf(stderr, "zeitdienst: %s\n", fehler.what());
            return 1;
        }
        g.schleifen.push_back(schleifen.back().get());
        const int fd = i == 0 ? l.fd : ::fcntl(l.fd, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            std::fprintf(stderr, "zeitdienst: %s\n", std::strerror(errno));
            return 1;
        }
        annehmer.push_back(std::make_unique<Annehmer>(*schleifen.back(), l, fd));
        annehmer.back()->starten();
    }

    boost::asio::signal_set signale(schleifen.front()->ioc(), SIGINT, SIGTERM, SIGHUP);
    auf_signale_hoeren(signale, schleifen, protokoll);
    std::printf("zeitdienst: listening on %s\n", l.beschreibung.c_str());
    std::fflush(stdout);

    std::vector<std::thread> weitere;
    for (std::size_t i = 1; i < schleifen.size(); ++i)
        weitere.emplace_back([&s = *schleifen[i]] { s.ioc().run(); });
    stoppsignale(SIG_UNBLOCK);
    schleifen.front()->ioc().run();
    stoppsignale(SIG_BLOCK);
    for (const auto& s : schleifen)
        s->ioc().stop();
    for (auto& t : weitere)
        t.join();
    return 0;
}
