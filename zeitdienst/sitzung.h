// One client connection of the time service: it reads requests, writes answers and closes. What to
// answer comes from beantworten(), when from the tick of the loop that holds it.
// SPDX-License-Identifier: MIT
#pragma once

#include <utility>  // before Asio: its coroutine header uses std::exchange without it

#include <array>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <memory>
#include <optional>
#include <string>

#include "antwort.h"
#include "leser.h"
#include "plaetze.h"
#include "umfeld.h"
#include "zeittakt.h"

namespace zeitdienst {

// How a text went out at once (senden_sofort): whole, in part (the rest is left to write), or not at all.
enum class Gesendet { ganz, teils, weg };

// An answer is small and nearly always fits the socket's buffer: a plain send() takes it without a
// round through the event loop, nor the connection's registration with it; only what is left over, in
// `rest`, needs the loop.
Gesendet senden_sofort(int fd, std::string_view text, std::string& rest);

class Sitzung : public std::enable_shared_from_this<Sitzung> {
public:
    // `umfeld` outlives it.
    Sitzung(boost::asio::ip::tcp::socket sock, const Umfeld& umfeld, Platz platz,
            const boost::asio::ip::address& adresse);
    ~Sitzung();
    Sitzung(const Sitzung&) = delete;
    Sitzung& operator=(const Sitzung&) = delete;

    void starten();

    // The tick of second `s`: first every held connection's send, back to back, then the rest of
    // their work, so that the last client of the second waits for no one's bookkeeping.
    // Just before the tick: the texts of second `s`, made while there is time to spare.
    void vorbereiten(Sekunde s);
    void zur_sekunde(Sekunde s);
    void nach_der_sekunde(Sekunde s);
    // At the tick a kept-alive connection waited for (Halt::nachschau): reads what came meanwhile;
    // true if that holds an answer for this tick. A request counts for this tick if it came by `bis`,
    // by the kernel's stamp of its arrival; one that came later, while the tick was late, waits for
    // the next second, as it would have if read as it came.
    bool nachschauen(Zeitpunkt bis);

    // For the loop's sweep: whether the connection has overstayed its time, and closing it.
    bool abgelaufen(Monoton jetzt) const { return jetzt > frist_; }
    void abbrechen();

    // Other loops ask the connection to end through it (Plaetze::raeumen).
    Platz& platz() { return platz_; }

private:
    enum class Zustand { lesen, halten, schreiben, zu };
    struct Wartend {
        Antwort antwort;
        std::string zeile;  // the request line, for the log
    };

    void auf_anfrage_warten();
    void weiterlesen();
    void gelesen(boost::system::error_code ec, std::size_t n);
    void verarbeiten();
    bool annehmen(const Antwort& antwort, std::string zeile);
    void schreiben();
    void fertig();
    void verbuchen(const Wartend& w, Sekunde s);
    void schliessen();
    void ausklingen();
    void jetzt_schliessen();
    void aufwachen();
    void zum_takt_lesen();
    void lesen_lassen();
    int fd() { return sock_.native_handle(); }

    boost::asio::ip::tcp::socket sock_;
    Platz platz_;
    const Umfeld& umfeld_;
    Eintrag* eintrag_ = nullptr;  // in its loop's lists, once started
    bool direkt_gelesen_ = false;
    std::string wer_;  // the client's address, for the log
    Zustand zustand_ = Zustand::lesen;
    Monoton frist_{};
    bool ruhend_ = false;                 // in its loop's list of kept-alive connections that wait
    bool vom_takt_ = false;               // its last answers went at a tick, and it is kept alive
    bool im_takt_ = false;                // reading at a tick: what it holds leaves in this one
    bool zum_takt_ = false;               // and it held an answer
    bool stumm_ = false;                  // data wakes nobody (SO_RCVLOWAT); read at the tick
    std::chrono::nanoseconds vorlauf_{};  // of its last held answer
    bool im_kopf_ = false;                // in its loop's list of those reading a head
    bool offen_ = true;                   // no answer so far closes the connection
    bool klient_schliesst_ = false;       // the last request asked to close
    long beantwortet_ = 0;
    boost::beast::flat_buffer eingang_;
    std::string ziel_;
    std::string methode_text_;
    std::optional<Leser> leser_;
    std::array<Wartend, kFliessband> wartend_;
    int wartend_zahl_ = 0;
    Gesendet gesendet_ = Gesendet::ganz;  // how the tick's answers went out
    std::string ausgang_;
    std::array<char, 512> abfall_;
};

}  // namespace zeitdienst
