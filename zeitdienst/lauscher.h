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

class Annehmer {
public:
    // Takes its own descriptor of the listening socket.
    Annehmer(Schleife& schleife, const Lauscher& l, int fd);
    void starten() { annehmen(); }

private:
    void annehmen();
    void einlassen(boost::asio::ip::tcp::socket s);

    Schleife& schleife_;
    boost::asio::ip::tcp::acceptor annehmer_;
    boost::asio::ip::tcp::endpoint gegenueber_;  // the address of the connection being accepted
    boost::asio::steady_timer atempause_;
};

}  // namespace zeitdienst
