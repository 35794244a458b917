// The time service's server on Boost.Beast and Asio: one event loop per core on one shared listening
// socket; held requests cost a list entry each and are answered together by one timer per loop.
// SPDX-License-Identifier: MIT
#include "dienst.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <utility>  // before Asio: its coroutine header uses std::exchange without it

#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "zeittakt.h"

namespace zeitdienst {
namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;
using namespace std::chrono_literals;

constexpr std::size_t kRumpfHoechstens = 64 * 1024;  // request bodies are read and dropped
constexpr auto kSchreibfrist = 30s;                  // a client that stops reading loses its connection
constexpr auto kAusklingen = 1s;                     // reading after our last byte, so closing sends no reset
constexpr int kWarteschlange = 4096;
// A timer wakes this machine up to a few milliseconds late; the tick wakes this much early and waits out the rest.
constexpr auto kFruehWecken = 3ms;  // listen backlog

void verwendung(std::FILE* aus, const char* name) {
    std::fprintf(aus,
                 "usage: %s [OPTION]...\n"
                 "Answers HTTP GET on / and /zeit.php with the local time as \"YYYY-MM-DD HH:MM:SS\".\n"
                 "By default a request is held until the next whole second begins and answered at that\n"
                 "instant with that second, so the client's clock lands within milliseconds.\n"
                 "\n"
                 "  --bind ADDR          listen on this numeric IPv4 or IPv6 address (default 127.0.0.1)\n"
                 "  --port N             listen on this TCP port (default 8123; 0 picks a free one). A port\n"
                 "                       in use is an error. Under systemd socket activation the passed\n"
                 "                       socket is used and --bind and --port are ignored.\n"
                 "  --zone NAME          answer in this IANA time zone, e.g. Europe/Berlin (default: TZ,\n"
                 "                       else the machine's zone). Clients write the text as their local\n"
                 "                       time, so they must live in the same zone.\n"
                 "  --sofort             answer at once, with the time rounded to the nearest second\n"
                 "  --log FILE           access log in Common Log Format; \"-\" is stdout (the default\n"
                 "                       under systemd), \"off\" writes none (the default otherwise)\n"
                 "  --max-connections N  open connections at most; beyond them new ones are closed at\n"
                 "                       once (default 16384)\n"
                 "  --header-timeout MS  the whole request must arrive within this (default 5000)\n"
                 "  --max-header BYTES   longest request head; longer ones get 431 (default 8192)\n"
                 "  --threads N          event loops (default: one per core)\n"
                 "  --help               show this help and exit\n"
                 "  --version            show the version and exit\n",
                 name);
}

bool zahl(std::string_view s, long min, long max, long& wert) {
    long v = 0;
    const auto [rest, fehler] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (fehler != std::errc{} || rest != s.data() + s.size() || v < min || v > max) return false;
    wert = v;
    return true;
}

enum class Gelesen { weiter, hilfe, version, falsch };

// Accepts "--name VALUE" and "--name=VALUE".
Gelesen einstellungen_lesen(int argc, char** argv, Einstellungen& e) {
    if (const char* u = std::getenv("INVOCATION_ID"); u != nullptr && *u != '\0') e.protokoll = "-";
    for (int i = 1; i < argc; ++i) {
        std::string_view name = argv[i];
        if (name == "--help" || name == "-h") return Gelesen::hilfe;
        if (name == "--version") return Gelesen::version;
        if (name == "--sofort") {
            e.sofort = true;
            continue;
        }
        std::string_view wert;
        if (const auto gleich = name.find('='); name.starts_with("--") && gleich != std::string_view::npos) {
            wert = name.substr(gleich + 1);
            name = name.substr(0, gleich);
        } else {
            if (i + 1 >= argc) return Gelesen::falsch;
            wert = argv[++i];
        }
        bool ok = true;
        if (name == "--bind" && !wert.empty())
            e.adresse = wert;
        else if (name == "--port")
            ok = zahl(wert, 0, 65535, e.port);
        else if (name == "--zone" && !wert.empty())
            e.zone = wert;
        else if (name == "--log" && !wert.empty())
            e.protokoll = wert == "off" ? "" : std::string(wert);
        else if (name == "--max-connections")
            ok = zahl(wert, 1, 1'000'000, e.verbindungen_hoechstens);
        else if (name == "--header-timeout")
            ok = zahl(wert, 1, 600'000, e.kopf_frist_ms);
        else if (name == "--max-header")
            ok = zahl(wert, 256, 1 << 20, e.kopf_hoechstens);
        else if (name == "--threads")
            ok = zahl(wert, 1, 256, e.faeden);
        else
            return Gelesen::falsch;
        if (!ok) return Gelesen::falsch;
    }
    return Gelesen::weiter;
}

Sekunde jetzt_sekunde() { return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()); }

// The text of a second, formatted once per loop and second: under load most requests share their second,
// and the C library's time conversion takes a lock that every loop would otherwise wait on.
template <std::string (*Format)(Sekunde)>
const std::string& gemerkt(Sekunde s) {
    thread_local Sekunde zuletzt{};
    thread_local std::string text;
    if (s != zuletzt || text.empty()) {
        text = Format(s);
        zuletzt = s;
    }
    return text;
}

// What all loops share: the settings, the count of open connections and the access log.
struct Gemeinsam {
    explicit Gemeinsam(const Einstellungen& einstellungen) : e(einstellungen) {}
    const Einstellungen& e;
    std::atomic<long> offen{0};
    std::mutex protokoll_sperre;
    bool protokoll = false;

    // Opened for each line, so a log that is moved away or deleted is started afresh (logrotate, tests).
    bool protokoll_schreiben(const std::string& zeile) const {
        if (e.protokoll == "-") {
            std::fwrite(zeile.data(), 1, zeile.size(), stdout);
            return std::fflush(stdout) == 0;
        }
        const int fd = ::open(e.protokoll.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        const bool ok = ::write(fd, zeile.data(), zeile.size()) == static_cast<ssize_t>(zeile.size());
        return ::close(fd) == 0 && ok;
    }

    // One line per answer. Each line is flushed, so the log is complete the moment the client has its answer.
    void protokollieren(const std::string& wer, std::string_view anfrage, int status, std::size_t laenge) {
        if (!protokoll) return;
        std::string zeile;
        zeile.reserve(wer.size() + anfrage.size() + 64);
        zeile += wer;
        zeile += " - - [";
        zeile += clf_zeit(jetzt_sekunde());
        zeile += "] \"";
        for (char c : anfrage.substr(0, 2048))
            zeile += static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '"' ? '?' : c;
        zeile += "\" ";
        zeile += std::to_string(status);
        zeile += ' ';
        zeile += laenge == 0 ? std::string("-") : std::to_string(laenge);
        zeile += '\n';
        const std::lock_guard sperre(protokoll_sperre);
        protokoll_schreiben(zeile);
    }
};

class Verbindung;

// The answer of one tick in the few forms its clients need, each formatted once.
struct Tickantwort {
    std::string text;
    std::string datum;
    std::size_t rumpflaenge;
    std::string formen[8];

    const std::string& fuer(bool offen_halten, bool http10, bool nur_kopf, const Verbindung& v);
};

// One event loop with its own acceptor on the shared listening socket and its own tick.
class Schleife {
public:
    Schleife(Gemeinsam& g) : g_(g) {}

    void starten(const tcp::acceptor::protocol_type& art, int fd) {
        annehmer_.assign(art, fd);
        annehmen();
    }
    void festhalten(std::shared_ptr<Verbindung> v);
    net::io_context& ioc() { return ioc_; }
    Gemeinsam& g() { return g_; }

private:
    void annehmen();
    void takt_stellen();
    void ticken();

    Gemeinsam& g_;
    net::io_context ioc_{1};
    tcp::acceptor annehmer_{ioc_};
    net::steady_timer atempause_{ioc_};
    net::system_timer takt_{ioc_};
    std::chrono::system_clock::time_point geplant_{};
    bool takt_gestellt_ = false;
    std::vector<std::shared_ptr<Verbindung>> wartend_;
};

class Verbindung : public std::enable_shared_from_this<Verbindung> {
public:
    Verbindung(tcp::socket s, Schleife& schleife) : strom_(std::move(s)), schleife_(schleife) {
        beast::error_code ec;
        const auto ende = strom_.socket().remote_endpoint(ec);
        wer_ = ec ? std::string("-") : ende.address().to_string();
    }
    ~Verbindung() { --schleife_.g().offen; }

    void lesen() {
        leser_.emplace();
        leser_->header_limit(static_cast<std::uint32_t>(e().kopf_hoechstens));
        leser_->body_limit(kRumpfHoechstens);
        strom_.expires_after(std::chrono::milliseconds(e().kopf_frist_ms));
        http::async_read(strom_, puffer_, *leser_,
                         [self = shared_from_this()](beast::error_code ec, std::size_t) { self->gelesen(ec); });
    }

    // The tick has come. Sends this connection's form of the answer without waiting (every client of the
    // second shares it) and returns true if it went out whole; otherwise the rest follows as usual.
    bool zur_sekunde(Tickantwort& antwort) {
        const auto g = gleich_senden(antwort.fuer(offen_halten_, http10_, nur_kopf_, *this));
        if (g == Gesendet::ganz) return true;
        if (g == Gesendet::teils) {
            antwort_protokollieren(antwort.rumpflaenge);
            schreiben([](Verbindung& v) { v.fertig(); });
        }
        return false;
    }
    std::string ganze_antwort_fuer(const std::string& text, const std::string& datum) const {
        return ganze_antwort(200, text, datum, {});
    }

    // After all clients of the tick have their answer: the log, and the next request or the close.
    void nach_der_sekunde(std::size_t rumpflaenge) {
        antwort_protokollieren(rumpflaenge);
        fertig();
    }

private:
    const Einstellungen& e() const { return schleife_.g().e; }

    std::string kopf(int status, const std::string& datum, std::string_view extra) const {
        std::string k;
        k.reserve(200 + extra.size());
        k += "HTTP/1.1 ";
        k += std::to_string(status);
        k += ' ';
        k += http::obsolete_reason(http::int_to_status(static_cast<unsigned>(status)));
        k += "\r\nDate: ";
        k += datum;
        k += "\r\nContent-Type: text/plain; charset=utf-8\r\nCache-Control: no-store\r\n";
        k += extra;
        if (!offen_halten_)
            k += "Connection: close\r\n";
        else if (http10_)
            k += "Connection: keep-alive\r\n";
        return k;
    }

    std::string ganze_antwort(int status, const std::string& rumpf, const std::string& datum,
                              std::string_view extra) const {
        std::string a = kopf(status, datum, extra);
        a += "Content-Length: ";
        a += std::to_string(rumpf.size());
        a += "\r\n\r\n";
        if (!nur_kopf_) a += rumpf;
        return a;
    }

    void gelesen(beast::error_code ec) {
        if (ec == http::error::header_limit) return fehler_senden(431);
        if (ec == http::error::body_limit) return fehler_senden(413);
        if (ec && &ec.category() == &http::make_error_code(http::error::bad_target).category() &&
            ec != http::error::end_of_stream && ec != http::error::partial_message)
            return fehler_senden(400);
        if (ec) return;  // closed, timed out, or reset: nothing to answer
        strom_.expires_never();
        const auto& anfrage = leser_->get();
        if (schleife_.g().protokoll)
            anfrage_ = std::string(anfrage.method_string()) + ' ' + std::string(anfrage.target()) + " HTTP/" +
                       std::to_string(anfrage.version() / 10) + '.' + std::to_string(anfrage.version() % 10);
        offen_halten_ = anfrage.keep_alive();
        nur_kopf_ = anfrage.method() == http::verb::head;
        http10_ = anfrage.version() < 11;
        std::string_view pfad = anfrage.target();
        pfad = pfad.substr(0, pfad.find('?'));
        const bool bekannt = (pfad == "/" || pfad == "/zeit.php") &&
                             (anfrage.method() == http::verb::get || anfrage.method() == http::verb::head);
        if (!bekannt) return senden(404, {}, http_datum(jetzt_sekunde()), {});
        inhalt_senden();
    }

    void inhalt_senden() {
        if (!e().sofort) return schleife_.festhalten(shared_from_this());
        const auto jetzt = std::chrono::system_clock::now();
        const std::string& datum = gemerkt<http_datum>(std::chrono::floor<std::chrono::seconds>(jetzt));
        senden(200, gemerkt<ortszeit_text>(antwortzeit(jetzt, true).sekunde), datum, {});
    }

    void senden(int status, const std::string& rumpf, const std::string& datum, std::string_view extra) {
        ausgang_ = ganze_antwort(status, rumpf, datum, extra);
        schleife_.g().protokollieren(wer_, anfrage_, status, nur_kopf_ ? 0 : rumpf.size());
        if (const auto g = gleich_senden(ausgang_); g == Gesendet::ganz)
            fertig();
        else if (g == Gesendet::teils)
            schreiben([](Verbindung& v) { v.fertig(); });
    }
    void antwort_protokollieren(std::size_t rumpflaenge) {
        schleife_.g().protokollieren(wer_, anfrage_, 200, nur_kopf_ ? 0 : rumpflaenge);
    }

    // After the answer: the next request on the same connection, or an orderly close.
    void fertig() {
        if (offen_halten_)
            lesen();
        else
            schliessen();
    }

    void fehler_senden(int status) {
        offen_halten_ = false;
        nur_kopf_ = false;
        anfrage_ = "-";  // the request line may be what was too long
        senden(status, {}, http_datum(jetzt_sekunde()), {});
    }

    // A small answer nearly always fits the socket's buffer at once; only the rest, if any, takes the
    // event loop (left in ausgang_), which saves a timer and a round through the loop per answer.
    enum class Gesendet { ganz, teils, weg };
    Gesendet gleich_senden(const std::string& antwort) {
        const ssize_t n =
            ::send(strom_.socket().native_handle(), antwort.data(), antwort.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n == static_cast<ssize_t>(antwort.size())) return Gesendet::ganz;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Gesendet::weg;
        ausgang_.assign(antwort, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        return Gesendet::teils;
    }

    template <class Danach>
    void schreiben(Danach danach) {
        strom_.expires_after(kSchreibfrist);
        net::async_write(strom_, net::buffer(ausgang_),
                         [self = shared_from_this(), danach](beast::error_code ec, std::size_t) {
                             if (!ec) danach(*self);
                         });
    }

    // Half-closes and reads what the client still sends until it closes too: closing a socket with
    // unread input would reset the connection and could cost the client our last answer.
    void schliessen() {
        beast::error_code ec;
        strom_.socket().shutdown(tcp::socket::shutdown_send, ec);
        if (ec) return;
        strom_.expires_after(kAusklingen);
        ausklingen();
    }
    void ausklingen() {
        strom_.async_read_some(net::buffer(abfall_), [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (!ec) self->ausklingen();
        });
    }

    beast::tcp_stream strom_;
    Schleife& schleife_;
    beast::flat_buffer puffer_;
    std::optional<http::request_parser<http::string_body>> leser_;
    std::string wer_;
    std::string anfrage_;
    bool offen_halten_ = false;
    bool nur_kopf_ = false;
    bool http10_ = false;
    std::string ausgang_;
    char abfall_[512];
};

void Schleife::annehmen() {
    annehmer_.async_accept(ioc_, [this](beast::error_code ec, tcp::socket s) {
        if (ec == net::error::operation_aborted) return;
        if (ec == net::error::no_descriptors || ec == net::error::no_buffer_space || ec == net::error::no_memory) {
            // Out of descriptors: accepting again at once would spin; the cap is set too high for the limit.
            atempause_.expires_after(50ms);
            atempause_.async_wait([this](beast::error_code f) {
                if (!f) annehmen();
            });
            return;
        }
        if (!ec) {
            if (g_.offen.fetch_add(1) >= g_.e.verbindungen_hoechstens) {
                --g_.offen;
                s.close(ec);
            } else {
                // Answers are single small writes: Nagle would hold each until the client's delayed ACK.
                s.set_option(tcp::no_delay(true), ec);
                std::make_shared<Verbindung>(std::move(s), *this)->lesen();
            }
        }
        annehmen();
    });
}

void Schleife::festhalten(std::shared_ptr<Verbindung> v) {
    wartend_.push_back(std::move(v));
    if (!takt_gestellt_) takt_stellen();
}

void Schleife::takt_stellen() {
    const auto az = antwortzeit(std::chrono::system_clock::now(), false);
    geplant_ = std::chrono::time_point_cast<std::chrono::system_clock::duration>(az.faellig);
    takt_gestellt_ = true;
    takt_.expires_at(geplant_ - kFruehWecken);
    takt_.async_wait([this](beast::error_code ec) {
        takt_gestellt_ = false;
        if (!ec) ticken();
    });
}

void Schleife::ticken() {
    auto jetzt = std::chrono::system_clock::now();
    if (jetzt < geplant_ - kFruehWecken) {  // the clock was set back while we waited
        takt_stellen();
        return;
    }
    while (jetzt < geplant_)
        jetzt = std::chrono::system_clock::now();
    const Sekunde s = std::chrono::floor<std::chrono::seconds>(jetzt);
    Tickantwort antwort{ortszeit_text(s), http_datum(s), 0, {}};
    antwort.rumpflaenge = antwort.text.size();
    auto faellig = std::move(wartend_);
    wartend_.clear();
    // First every send, back to back, so the last client of the second waits for no one's bookkeeping.
    std::vector<char> ganz(faellig.size());
    for (std::size_t i = 0; i < faellig.size(); ++i)
        ganz[i] = faellig[i]->zur_sekunde(antwort);
    for (std::size_t i = 0; i < faellig.size(); ++i)
        if (ganz[i]) faellig[i]->nach_der_sekunde(antwort.rumpflaenge);
}

const std::string& Tickantwort::fuer(bool offen_halten, bool http10, bool nur_kopf, const Verbindung& v) {
    std::string& form = formen[(offen_halten ? 4 : 0) + (http10 ? 2 : 0) + (nur_kopf ? 1 : 0)];
    if (form.empty()) form = v.ganze_antwort_fuer(text, datum);
    return form;
}

struct Lauscher {
    int fd = -1;
    tcp::acceptor::protocol_type art = tcp::v4();
    std::string beschreibung;
};

// The socket systemd passed, or a new one. A taken port is an error: the socket never shares a
// port (no SO_REUSEPORT), so a second instance cannot quietly take half of the first one's clients.
bool lauschen(const Einstellungen& e, Lauscher& l) {
    const int n = sd_listen_fds(1);
    if (n < 0) {
        std::fprintf(stderr, "zeitdienst: cannot take the sockets from systemd: %s\n", std::strerror(-n));
        return false;
    }
    if (n > 1) {
        std::fprintf(stderr, "zeitdienst: systemd passed %d sockets; expected one\n", n);
        return false;
    }
    net::io_context ioc;
    tcp::acceptor a(ioc);
    beast::error_code ec;
    if (n == 1) {
        const int fd = SD_LISTEN_FDS_START;
        if (sd_is_socket(fd, AF_UNSPEC, SOCK_STREAM, 1) <= 0) {
            std::fprintf(stderr, "zeitdienst: the socket from systemd is no listening TCP socket\n");
            return false;
        }
        sockaddr_storage adr{};
        socklen_t laenge = sizeof adr;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&adr), &laenge);
        l.art = adr.ss_family == AF_INET6 ? tcp::v6() : tcp::v4();
        a.assign(l.art, fd, ec);
    } else {
        const auto adresse = net::ip::make_address(e.adresse, ec);
        if (ec) {
            std::fprintf(stderr, "zeitdienst: --bind wants a numeric address, not %s\n", e.adresse.c_str());
            return false;
        }
        const tcp::endpoint ende(adresse, static_cast<unsigned short>(e.port));
        l.art = ende.protocol();
        a.open(l.art, ec);
        if (!ec) a.set_option(tcp::acceptor::reuse_address(true), ec);
        if (!ec) a.bind(ende, ec);
        if (ec == net::error::address_in_use) {
            std::fprintf(stderr, "zeitdienst: %s port %ld is already in use\n", e.adresse.c_str(), e.port);
            return false;
        }
        if (!ec) a.listen(kWarteschlange, ec);
        if (ec) {
            std::fprintf(stderr, "zeitdienst: cannot listen on %s port %ld: %s\n", e.adresse.c_str(), e.port,
                         ec.message().c_str());
            return false;
        }
    }
    if (ec) {
        std::fprintf(stderr, "zeitdienst: %s\n", ec.message().c_str());
        return false;
    }
    const auto ende = a.local_endpoint(ec);
    l.beschreibung = ende.address().to_string() + ':' + std::to_string(ende.port());
    if (ende.address().is_v6()) l.beschreibung = '[' + ende.address().to_string() + "]:" + std::to_string(ende.port());
    l.fd = a.release(ec);
    return !ec;
}

// Every held client is an open descriptor: take all the kernel allows.
void descriptoren_erhoehen() {
    rlimit r{};
    if (::getrlimit(RLIMIT_NOFILE, &r) == 0 && r.rlim_cur < r.rlim_max) {
        r.rlim_cur = r.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &r);
    }
}

}  // namespace

int hauptprogramm(int argc, char** argv) {
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

    Gemeinsam g(e);
    g.protokoll = !e.protokoll.empty();
    if (g.protokoll && !g.protokoll_schreiben({})) {
        std::fprintf(stderr, "zeitdienst: cannot write %s: %s\n", e.protokoll.c_str(), std::strerror(errno));
        return 1;
    }

    Lauscher l;
    if (!lauschen(e, l)) return 1;
    const long faeden = e.faeden > 0 ? e.faeden : std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::unique_ptr<Schleife>> schleifen;
    for (long i = 0; i < faeden; ++i) {
        schleifen.push_back(std::make_unique<Schleife>(g));
        const int fd = i == 0 ? l.fd : ::fcntl(l.fd, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            std::fprintf(stderr, "zeitdienst: %s\n", std::strerror(errno));
            return 1;
        }
        schleifen.back()->starten(l.art, fd);
    }

    std::printf("zeitdienst: listening on %s\n", l.beschreibung.c_str());
    std::fflush(stdout);

    net::io_context& erste = schleifen.front()->ioc();
    const auto alle_anhalten = [&schleifen] {
        for (auto& s : schleifen)
            s->ioc().stop();
    };
    net::signal_set signale(erste, SIGINT, SIGTERM);
    signale.async_wait([&](beast::error_code ec, int) {
        if (!ec) alle_anhalten();
    });
    std::vector<std::thread> weitere;
    for (std::size_t i = 1; i < schleifen.size(); ++i)
        weitere.emplace_back([&s = *schleifen[i]] { s.ioc().run(); });
    erste.run();
    alle_anhalten();
    for (auto& t : weitere)
        t.join();
    return 0;
}

}  // namespace zeitdienst
