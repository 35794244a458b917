// zeitdienst: a small HTTP time service that answers with the local time as "YYYY-MM-DD HH:MM:SS".
// It is the reference server for Dadaviru's tests and can also play a slow, broken or oversized one.
#include <httplib.h>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Uhr = std::chrono::steady_clock;

constexpr const char* kTextTyp = "text/plain; charset=utf-8";
constexpr auto kTropfenHoechstens = std::chrono::minutes(10);  // longest a dripped answer may run
constexpr std::size_t kStueck = 64 * 1024;                     // piece size of oversized answers

struct Einstellungen {
    std::string adresse = "127.0.0.1";
    long port = 8123;
    std::string port_datei;
    std::string protokoll;
    long ende_nach_s = 0;  // 0: until SIGTERM/SIGINT
    bool fester_text = false;
    std::string text;
    long status = 200;
    long verzoegerung_ms = 0;
    long tropfen_ms = 0;
    long gross_mib = 0;
    std::string umleitung;
};

std::atomic<bool> beenden{false};
std::mutex protokoll_sperre;

void verwendung(const char* name) {
    std::fprintf(stderr,
                 "usage: %s [--bind ADDR] [--port N] [--port-datei FILE] [--log FILE] [--ende-nach SEK]\n"
                 "       [--body TEXT] [--status N] [--delay MS] [--drip MS] [--huge MB] [--redirect URL]\n",
                 name);
}

bool zahl(std::string_view s, long min, long max, long& wert) {
    long v = 0;
    const auto [rest, fehler] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (fehler != std::errc{} || rest != s.data() + s.size() || v < min || v > max) return false;
    wert = v;
    return true;
}

// Accepts "--name VALUE" and "--name=VALUE".
bool einstellungen_lesen(int argc, char** argv, Einstellungen& e) {
    for (int i = 1; i < argc; ++i) {
        std::string_view name = argv[i];
        std::string_view wert;
        bool hat_wert = false;
        if (const auto gleich = name.find('='); name.starts_with("--") && gleich != std::string_view::npos) {
            wert = name.substr(gleich + 1);
            name = name.substr(0, gleich);
            hat_wert = true;
        }
        if (!hat_wert) {
            if (i + 1 >= argc) return false;
            wert = argv[++i];
        }
        if (name == "--bind" && !wert.empty())
            e.adresse = wert;
        else if (name == "--port") {
            if (!zahl(wert, 0, 65535, e.port)) return false;
        } else if (name == "--port-datei" && !wert.empty())
            e.port_datei = wert;
        else if (name == "--log" && !wert.empty())
            e.protokoll = wert;
        else if (name == "--ende-nach") {
            if (!zahl(wert, 1, 7 * 86400, e.ende_nach_s)) return false;
        } else if (name == "--body") {
            e.fester_text = true;
            e.text = wert;
        } else if (name == "--status") {
            if (!zahl(wert, 200, 599, e.status)) return false;
        } else if (name == "--delay") {
            if (!zahl(wert, 0, 600000, e.verzoegerung_ms)) return false;
        } else if (name == "--drip") {
            if (!zahl(wert, 1, 60000, e.tropfen_ms)) return false;
        } else if (name == "--huge") {
            if (!zahl(wert, 1, 1024, e.gross_mib)) return false;
        } else if (name == "--redirect" && !wert.empty())
            e.umleitung = wert;
        else
            return false;
    }
    return true;
}

std::string jetzt_formatiert(bool utc, const char* format) {
    const std::time_t jetzt = std::time(nullptr);
    std::tm t{};
    char puffer[64];
    if ((utc ? gmtime_r(&jetzt, &t) : localtime_r(&jetzt, &t)) == nullptr ||
        std::strftime(puffer, sizeof puffer, format, &t) == 0)
        return {};
    return puffer;
}

std::string zeit_text() { return jetzt_formatiert(false, "%Y-%m-%d %H:%M:%S"); }

// An HTTP date (RFC 9110): clients that read the time from the Date header find it here too.
std::string http_datum() { return jetzt_formatiert(true, "%a, %d %b %Y %H:%M:%S GMT"); }

// Sleeps in short steps so that stopping never waits for a long delay. Returns false when stopping.
bool warten(std::chrono::milliseconds dauer) {
    const auto ende = Uhr::now() + dauer;
    while (!beenden) {
        const auto rest = ende - Uhr::now();
        if (rest <= Uhr::duration::zero()) return true;
        std::this_thread::sleep_for(std::min<Uhr::duration>(rest, 50ms));
    }
    return false;
}

// One line "<METHOD> <path>" per request; control characters are masked so each request stays one line.
void protokollieren(const std::string& datei, const httplib::Request& req) {
    std::string zeile = req.method + ' ' + req.path;
    if (zeile.size() > 2048) zeile.resize(2048);
    for (char& c : zeile)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    zeile += '\n';
    const std::lock_guard sperre(protokoll_sperre);
    const int fd = ::open(datei.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (::write(fd, zeile.data(), zeile.size()) < 0) std::perror("zeitdienst: log");
    ::close(fd);
}

// Written under a temporary name and renamed, so a reader never sees a partial file.
bool port_schreiben(const std::string& datei, int port) {
    const std::string vorlaeufig = datei + ".tmp." + std::to_string(::getpid());
    const std::string inhalt = std::to_string(port) + '\n';
    const int fd = ::open(vorlaeufig.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok = ::write(fd, inhalt.data(), inhalt.size()) == static_cast<ssize_t>(inhalt.size());
    if (::close(fd) != 0 || !ok || std::rename(vorlaeufig.c_str(), datei.c_str()) != 0) {
        ::unlink(vorlaeufig.c_str());
        return false;
    }
    return true;
}

void antworten(const Einstellungen& e, httplib::Response& res) {
    if (e.verzoegerung_ms > 0 && !warten(std::chrono::milliseconds(e.verzoegerung_ms))) {
        res.status = 503;
        return;
    }
    if (!e.umleitung.empty()) {
        res.set_redirect(e.umleitung, 302);
        return;
    }
    res.status = static_cast<int>(e.status);
    std::string text = e.fester_text ? e.text : zeit_text();
    if (e.tropfen_ms > 0 && !text.empty()) {
        // The text over and over, one byte at a time, until the time limit or shutdown.
        const auto beginn = Uhr::now();
        const auto pause = std::chrono::milliseconds(e.tropfen_ms);
        res.set_chunked_content_provider(kTextTyp,
                                         [text, beginn, pause](std::size_t versandt, httplib::DataSink& sink) {
                                             if (Uhr::now() - beginn >= kTropfenHoechstens) {
                                                 sink.done();
                                                 return true;
                                             }
                                             if (!warten(pause)) return false;
                                             return sink.write(&text[versandt % text.size()], 1);
                                         });
    } else if (e.gross_mib > 0) {
        // The text first, then filler, chunked and without a Content-Length.
        const std::size_t gesamt = static_cast<std::size_t>(e.gross_mib) << 20;
        res.set_chunked_content_provider(kTextTyp, [text, gesamt](std::size_t versandt, httplib::DataSink& sink) {
            if (versandt >= gesamt || beenden) {
                sink.done();
                return !beenden;
            }
            std::string stueck(std::min(kStueck, gesamt - versandt), 'x');
            if (versandt < text.size()) text.copy(stueck.data(), stueck.size(), versandt);
            return sink.write(stueck.data(), stueck.size());
        });
    } else {
        res.set_content(text, kTextTyp);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Einstellungen e;
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        verwendung(argv[0]);
        return 0;
    }
    if (!einstellungen_lesen(argc, argv, e)) {
        verwendung(argv[0]);
        return 2;
    }
    tzset();

    // Signals are taken by the watcher thread below; every other thread keeps them blocked.
    sigset_t signale;
    sigemptyset(&signale);
    sigaddset(&signale, SIGINT);
    sigaddset(&signale, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signale, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    httplib::Server server;
    server.new_task_queue = [] { return new httplib::ThreadPool(16); };
    server.set_read_timeout(5).set_write_timeout(5).set_keep_alive_timeout(2).set_keep_alive_max_count(10);
    server.set_payload_max_length(64 * 1024);
    server.set_default_headers({{"Cache-Control", "no-store"}});
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        res.status = 500;
        res.set_content("", kTextTyp);
    });
    server.set_pre_routing_handler([&e](const httplib::Request& req, httplib::Response& res) {
        if (!e.protokoll.empty()) protokollieren(e.protokoll, req);
        res.set_header("Date", http_datum());
        return httplib::Server::HandlerResponse::Unhandled;
    });
    const auto behandeln = [&e](const httplib::Request&, httplib::Response& res) { antworten(e, res); };
    server.Get("/", behandeln);
    server.Get(R"(/zeit\.php)", behandeln);

    int port = static_cast<int>(e.port);
    if (port == 0)
        port = server.bind_to_any_port(e.adresse);
    else if (!server.bind_to_port(e.adresse, port))
        port = -1;
    if (port <= 0) {
        std::fprintf(stderr, "zeitdienst: cannot listen on %s:%ld\n", e.adresse.c_str(), e.port);
        return 1;
    }
    if (!e.port_datei.empty() && !port_schreiben(e.port_datei, port)) {
        std::fprintf(stderr, "zeitdienst: cannot write %s\n", e.port_datei.c_str());
        return 1;
    }
    std::printf("zeitdienst: listening on %s:%d\n", e.adresse.c_str(), port);
    std::fflush(stdout);

    std::atomic<bool> fertig{false};
    std::thread waechter([&] {
        const auto ende = Uhr::now() + std::chrono::seconds(e.ende_nach_s);
        while (!fertig) {
            const timespec kurz{0, 100'000'000};
            const int sig = sigtimedwait(&signale, nullptr, &kurz);
            if (sig == SIGINT || sig == SIGTERM || (e.ende_nach_s > 0 && Uhr::now() >= ende)) break;
        }
        beenden = true;
        // stop() only acts on a running server, so wait until the accept loop has started.
        while (!fertig && !server.is_running())
            std::this_thread::sleep_for(10ms);
        if (!fertig) server.stop();
    });
    const bool ok = server.listen_after_bind();
    fertig = true;
    waechter.join();
    return ok || beenden ? 0 : 1;
}
