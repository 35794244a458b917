// The time service's listening socket, and the acceptor of each loop on it: it takes a connection,
// asks for a place for it, and hands it to a new session or closes it.
// SPDX-License-Identifier: MIT
#pragma once

#include <utility>  // before Asio: its coroutine header uses std::exchange without it

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <string>

#include "einstellungen.h"

namespace zeitdienst {

class Schleife;

struct Lauscher {
    int fd = -1;
    boost::asio::ip::tcp::acceptor::protocol_type art = boost::asio::ip::tcp::v4();
    std::string beschreibung;  // "ADDR:PORT", as the start-up line names it
};

// The socket systemd passed, or a new one on --bind and --port. Prints why on failure.
bool lauschen(const Einstellungen& e, Lauscher& l);

// Accepts with accept4() itself rather than through Asio, so that a refused connection costs the event
// loop nothing; an admitted one is the session's socket from then on. Most clients' one request is in
// when they are accepted, and their answer fits the socket, so they cost the loop no round.
class Annehmer {
public:
    // Takes its own descriptor of the listening socket.
    Annehmer(Schleife& schleife, const Lauscher& l, int fd);
    void starten() { abholen(); }

private:
    void abholen();
    void warten();
    void einlassen(int fd, const boost::asio::ip::address& adresse);

    Schleife& schleife_;
    const boost::asio::ip::tcp art_;
    boost::asio::ip::tcp::acceptor annehmer_;
    boost::asio::steady_timer atempause_;
    bool wartet_ = false;  // a wait for the next connection is armed
};

}  // namespace zeitdienst
