// A one-connection HTTP peer on loopback for the client tests of both platforms: it answers with a
// time text and hands back the request as it arrived, so a test can read the client's headers.
// SPDX-License-Identifier: MIT
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <future>
#include <stdexcept>
#include <string>

namespace dadaviru::test {

#ifdef _WIN32
using Sockel = SOCKET;
inline constexpr Sockel kein_sockel = INVALID_SOCKET;
inline void sockel_schliessen(Sockel s) { closesocket(s); }
inline int warten_auf_verbindung(Sockel s, int ms) {
    WSAPOLLFD p{s, POLLRDNORM, 0};
    return WSAPoll(&p, 1, ms);
}
using Adresslaenge = int;
inline constexpr int ohne_signal = 0;
struct Netz {
    Netz() {
        WSADATA wsa{};
        if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) throw std::runtime_error("WSAStartup");
    }
    ~Netz() { WSACleanup(); }
};
#else
using Sockel = int;
inline constexpr Sockel kein_sockel = -1;
inline void sockel_schliessen(Sockel s) { close(s); }
inline int warten_auf_verbindung(Sockel s, int ms) {
    pollfd p{s, POLLIN, 0};
    return poll(&p, 1, ms);
}
using Adresslaenge = socklen_t;
inline constexpr int ohne_signal = MSG_NOSIGNAL;
struct Netz {};
#endif

class Mitschnitt {
public:
    static constexpr const char* Antworttext = "2026-12-07 13:45:09";

    Mitschnitt() {
        lauscher_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in adresse{};
        adresse.sin_family = AF_INET;
        adresse.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        Adresslaenge laenge = sizeof adresse;
        if (lauscher_ == kein_sockel || bind(lauscher_, reinterpret_cast<sockaddr*>(&adresse), laenge) != 0 ||
            listen(lauscher_, 1) != 0 || getsockname(lauscher_, reinterpret_cast<sockaddr*>(&adresse), &laenge) != 0)
            throw std::runtime_error("loopback socket");
        port = ntohs(adresse.sin_port);
        anfrage = std::async(std::launch::async, [this] {
            if (warten_auf_verbindung(lauscher_, 10'000) != 1) return std::string();
            const Sockel verbindung = accept(lauscher_, nullptr, nullptr);
            if (verbindung == kein_sockel) return std::string();
            std::string gelesen;
            char puffer[4096];
            int n = 0;
            while (gelesen.find("\r\n\r\n") == std::string::npos && gelesen.size() < 65536 &&
                   (n = static_cast<int>(recv(verbindung, puffer, sizeof puffer, 0))) > 0)
                gelesen.append(puffer, static_cast<std::size_t>(n));
            const std::string antwort =
                std::string("HTTP/1.1 200 OK\r\nContent-Length: 19\r\nConnection: close\r\n\r\n") + Antworttext;
            send(verbindung, antwort.data(), static_cast<int>(antwort.size()), ohne_signal);
            sockel_schliessen(verbindung);
            return gelesen;
        });
    }
    ~Mitschnitt() {
        if (anfrage.valid()) anfrage.wait();
        sockel_schliessen(lauscher_);
    }
    Mitschnitt(const Mitschnitt&) = delete;
    Mitschnitt& operator=(const Mitschnitt&) = delete;

    int port = 0;
    std::future<std::string> anfrage;

private:
    Netz netz_;
    Sockel lauscher_ = kein_sockel;
};

}  // namespace dadaviru::test
