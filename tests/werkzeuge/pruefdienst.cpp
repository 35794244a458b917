// pruefdienst: the tests' stand-in time service, with the faults they need: a fixed text, a status, a
// delay, a drip-fed head or body, an oversized body, a redirect. It logs each request the moment its head has arrived,
// so a test can wait for the request itself and compare times with when the service saw it.
// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <utility>  // before Asio: its coroutine header uses std::exchange without it

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "einstellungen.h"

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;
using Uhr = std::chrono::system_clock;

// Every loop of the service is bounded, so a test that forgets it cannot keep it busy for ever.
constexpr auto kTropfenHoechstens = std::chrono::minutes(10);
// A drip-fed head ends after this, so that a client that waits it out gets an answer and says so.
constexpr auto kKopftropfenDauer = std::chrono::seconds(30);
constexpr int kAnfragenJeVerbindung = 1000;
constexpr std::size_t kStueck = 64 * 1024;

struct Einstellungen {
    std::string adresse = "127.0.0.1";
    long port = 0;
    std::string protokoll;
    std::optional<std::string> text;
    long status = 200;
    long verzoegerung_ms = 0;
    long tropfen_ms = 0;
    long kopftropfen_ms = 0;
    long gross_mib = 0;
    std::string umleitung;
};

const char* const kVerwendung =
    "usage: pruefdienst [OPTION]...\n"
    "The tests' time service: answers GET / and /zeit.php with the local time, or as told.\n"
    "  --bind ADDR      listen on ADDR (default 127.0.0.1)\n"
    "  --port N         listen on port N (default 0: a free one); the port is printed once listening\n"
    "  --log FILE       one line per request, written as its head arrives: the time since the epoch and\n"
    "                   since boot, each as SECONDS.MICROS, then \"REQUEST LINE\"\n"
    "  --body TEXT      answer with TEXT instead of the time\n"
    "  --status N       answer with status N\n"
    "  --delay MS       wait MS before answering\n"
    "  --drip MS        send the body one byte every MS, chunked, for up to 10 min\n"
    "  --drip-head MS   send the head one byte every MS, a field growing in it for 30 s, then the text\n"
    "  --huge MIB       send the text and then filler, MIB MiB in all, chunked\n"
    "  --redirect URL   answer 302 with Location URL\n";

bool lesen(int argc, char** argv, Einstellungen& e) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view name = argv[i];
        const std::string_view wert = argv[i + 1];
        bool ok = true;
        if (name == "--bind")
            e.adresse = wert;
        else if (name == "--port")
            ok = zeitdienst::zahl_lesen(wert, 0, 65535, e.port);
        else if (name == "--log")
            e.protokoll = wert;
        else if (name == "--body")
            e.text = std::string(wert);
        else if (name == "--status")
            ok = zeitdienst::zahl_lesen(wert, 200, 599, e.status);
        else if (name == "--delay")
            ok = zeitdienst::zahl_lesen(wert, 0, 600'000, e.verzoegerung_ms);
        else if (name == "--drip")
            ok = zeitdienst::zahl_lesen(wert, 1, 60'000, e.tropfen_ms);
        else if (name == "--drip-head")
            ok = zeitdienst::zahl_lesen(wert, 1, 60'000, e.kopftropfen_ms);
        else if (name == "--huge")
            ok = zeitdienst::zahl_lesen(wert, 1, 1024, e.gross_mib);
        else if (name == "--redirect")
            e.umleitung = wert;
        else
            return false;
        if (!ok) return false;
    }
    return argc % 2 == 1;
}

std::string ortszeit_jetzt() {
    const std::time_t t = Uhr::to_time_t(Uhr::now());
    std::tm tm{};
    char text[32];
    if (::localtime_r(&t, &tm) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm) == 0) return {};
    return text;
}

// One write(2) per line, appended, so lines of parallel connections never mix; opened for each line,
// so a test that removes the log between runs finds the next request in a new one.
class Protokoll {
public:
    explicit Protokoll(std::string datei) : datei_(std::move(datei)) {}
    bool offen() const { return datei_.empty() || anhaengen({}); }

    void schreiben(Uhr::time_point eingang, const http::request<http::string_body>& anfrage) const {
        if (datei_.empty()) return;
        timespec boot{};
        ::clock_gettime(CLOCK_BOOTTIME, &boot);
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(eingang.time_since_epoch()).count();
        char zeit[64];
        std::snprintf(zeit, sizeof zeit, "%lld.%06lld %lld.%06ld \"", static_cast<long long>(us / 1'000'000),
                      static_cast<long long>(us % 1'000'000), static_cast<long long>(boot.tv_sec), boot.tv_nsec / 1000);
        anhaengen(zeit + std::string(anfrage.method_string()) + ' ' + std::string(anfrage.target()) +
                  (anfrage.version() == 10 ? " HTTP/1.0\"\n" : " HTTP/1.1\"\n"));
    }

private:
    bool anhaengen(std::string_view zeile) const {
        const int fd = ::open(datei_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        const bool ok = ::write(fd, zeile.data(), zeile.size()) == static_cast<ssize_t>(zeile.size());
        ::close(fd);
        return ok;
    }

    std::string datei_;
};

std::string kopf(long status, bool offen_halten, std::string_view extra) {
    std::string k = "HTTP/1.1 " + std::to_string(status) + ' ';
    k += http::obsolete_reason(http::int_to_status(static_cast<unsigned>(status)));
    k += "\r\nContent-Type: text/plain; charset=utf-8\r\nCache-Control: no-store\r\n";
    k += extra;
    if (!offen_halten) k += "Connection: close\r\n";
    return k;
}

std::string stueck(std::string_view inhalt) {
    char laenge[32];
    std::snprintf(laenge, sizeof laenge, "%zx\r\n", inhalt.size());
    return laenge + std::string(inhalt) + "\r\n";
}

// Answers one request; false when the connection is to close.
bool antworten(tcp::socket& s, const Einstellungen& e, const http::request<http::string_body>& anfrage) {
    const bool offen_halten = anfrage.keep_alive() && e.tropfen_ms == 0 && e.kopftropfen_ms == 0 && e.gross_mib == 0;
    std::string_view pfad = anfrage.target();
    pfad = pfad.substr(0, pfad.find('?'));
    if (pfad != "/" && pfad != "/zeit.php") {
        net::write(s, net::buffer(kopf(404, offen_halten, "Content-Length: 0\r\n") + "\r\n"));
        return offen_halten;
    }
    if (e.verzoegerung_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(e.verzoegerung_ms));
    if (!e.umleitung.empty()) {
        net::write(
            s, net::buffer(kopf(302, offen_halten, "Location: " + e.umleitung + "\r\nContent-Length: 0\r\n") + "\r\n"));
        return offen_halten;
    }
    const std::string text = e.text ? *e.text : ortszeit_jetzt();
    if (e.kopftropfen_ms > 0) {
        // Every byte of the head on its own, the last field's value growing until the bound.
        const auto ende = std::chrono::steady_clock::now() + kKopftropfenDauer;
        const std::string anfang =
            kopf(e.status, false, "Content-Length: " + std::to_string(text.size()) + "\r\n") + "X-Tropfen: ";
        for (std::size_t i = 0; i < anfang.size() || std::chrono::steady_clock::now() < ende; ++i) {
            net::write(s, net::buffer(i < anfang.size() ? anfang.substr(i, 1) : std::string("x")));
            std::this_thread::sleep_for(std::chrono::milliseconds(e.kopftropfen_ms));
        }
        net::write(s, net::buffer("\r\n\r\n" + text));
        return false;
    }
    const bool tropfen = e.tropfen_ms > 0 && !text.empty();
    if (tropfen || e.gross_mib > 0) {
        net::write(s, net::buffer(kopf(e.status, false, "Transfer-Encoding: chunked\r\n") + "\r\n"));
        if (tropfen) {
            // The text over and over, one byte at a time, until the bound.
            const auto ende = std::chrono::steady_clock::now() + kTropfenHoechstens;
            for (std::size_t i = 0; std::chrono::steady_clock::now() < ende; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(e.tropfen_ms));
                net::write(s, net::buffer(stueck(std::string_view(text).substr(i % text.size(), 1))));
            }
        } else {
            // The text first, then filler, without a length.
            const std::size_t gesamt = static_cast<std::size_t>(e.gross_mib) << 20;
            for (std::size_t versandt = 0; versandt < gesamt;) {
                std::string teil(std::min(kStueck, gesamt - versandt), 'x');
                if (versandt < text.size()) text.copy(teil.data(), teil.size(), versandt);
                net::write(s, net::buffer(stueck(teil)));
                versandt += teil.size();
            }
        }
        net::write(s, net::buffer(std::string_view("0\r\n\r\n")));
        return false;
    }
    net::write(s, net::buffer(kopf(e.status, offen_halten, "Content-Length: " + std::to_string(text.size()) + "\r\n") +
                              "\r\n" + text));
    return offen_halten;
}

void bedienen(tcp::socket s, const Einstellungen& e, const Protokoll& protokoll) {
    beast::flat_buffer puffer;
    beast::error_code ec;
    for (int i = 0; i < kAnfragenJeVerbindung; ++i) {
        http::request<http::string_body> anfrage;
        http::read(s, puffer, anfrage, ec);
        if (ec) break;
        protokoll.schreiben(Uhr::now(), anfrage);
        try {
            if (!antworten(s, e, anfrage)) break;
        } catch (const boost::system::system_error&) {
            break;  // the client went away
        }
    }
    s.shutdown(tcp::socket::shutdown_send, ec);
    // Reads what the client still sends, so that closing sends no reset over an answer not yet read.
    char abfall[512];
    s.read_some(net::buffer(abfall), ec);
}

}  // namespace

int main(int argc, char** argv) {
    Einstellungen e;
    if (!lesen(argc, argv, e)) {
        std::fputs(kVerwendung, stderr);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    const Protokoll protokoll(e.protokoll);
    if (!e.protokoll.empty() && !protokoll.offen()) {
        std::perror(e.protokoll.c_str());
        return 1;
    }
    // Ends only by a signal, or by _Exit: connections still being served use what main owns.
    try {
        net::io_context ioc;
        tcp::acceptor lauscher(ioc, {net::ip::make_address(e.adresse), static_cast<unsigned short>(e.port)});
        const auto ende = lauscher.local_endpoint();
        const std::string adresse =
            ende.address().is_v6() ? '[' + ende.address().to_string() + ']' : ende.address().to_string();
        std::printf("pruefdienst: listening on %s:%u\n", adresse.c_str(), ende.port());
        std::fflush(stdout);
        for (;;)
            std::thread(bedienen, lauscher.accept(), std::cref(e), std::cref(protokoll)).detach();
    } catch (const boost::system::system_error& f) {
        std::fprintf(stderr, "pruefdienst: %s\n", f.what());
        std::_Exit(1);
    }
}
