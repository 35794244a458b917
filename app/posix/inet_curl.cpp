// The window's HTTP client on POSIX systems: a blocking GET with libcurl, and the kernel's time of
// the answer's arrival.
// SPDX-License-Identifier: MIT
#include "inet_curl.h"

#include <sys/select.h>
#include <sys/socket.h>
#include <time.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace dadaviru {

namespace {

using Steady = std::chrono::steady_clock;

struct Empfang {
    std::string koerper;
    bool zu_lang = false;
    Steady::time_point zuletzt;                 // when the last bytes came
    std::optional<Steady::time_point> im_kern;  // when the kernel received what libcurl reads next
};

size_t empfangen(char* daten, size_t, size_t anzahl, void* ziel) {
    auto& empfang = *static_cast<Empfang*>(ziel);
    if (anzahl > Inet_hoechste_Antwort - empfang.koerper.size()) {
        empfang.zu_lang = true;
        return CURL_WRITEFUNC_ERROR;
    }
    empfang.koerper.append(daten, anzahl);
    empfang.zuletzt = empfang.im_kern.value_or(Steady::now());
    return anzahl;
}

// Every socket stamps what it receives; a failure costs only the stamp.
int stempeln(void*, curl_socket_t fd, curlsocktype zweck) {
    const int an = 1;
    if (zweck == CURLSOCKTYPE_IPCXN) setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &an, sizeof an);
    return CURL_SOCKOPT_OK;
}

std::chrono::nanoseconds dauer(const timespec& t) {
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

// When the kernel received the data waiting on the socket, up to as much as libcurl reads at once
// (its default buffer), without taking it: TCP gives the stamp of the last segment looked at. The
// stamp is on the wall clock, so it is carried over to the steady one by reading both.
std::optional<Steady::time_point> empfangen_um(curl_socket_t fd) {
    std::array<char, CURL_MAX_WRITE_SIZE> daten;
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(timespec))> steuer;
    iovec teil{daten.data(), daten.size()};
    msghdr nachricht{};
    nachricht.msg_iov = &teil;
    nachricht.msg_iovlen = 1;
    nachricht.msg_control = steuer.data();
    nachricht.msg_controllen = steuer.size();
    if (recvmsg(fd, &nachricht, MSG_PEEK | MSG_DONTWAIT) <= 0) return std::nullopt;
    for (cmsghdr* c = CMSG_FIRSTHDR(&nachricht); c; c = CMSG_NXTHDR(&nachricht, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
        timespec stempel{}, wand{};
        std::memcpy(&stempel, CMSG_DATA(c), sizeof stempel);
        const auto jetzt = Steady::now();
        if (clock_gettime(CLOCK_REALTIME, &wand) != 0) return std::nullopt;
        return jetzt - (dauer(wand) - dauer(stempel));
    }
    return std::nullopt;
}

// Looks at each socket libcurl waits to read before it reads. A stamp outside the transfer, from a
// clock stepped between the stamp and its reading, is no arrival.
void vor_dem_lesen(CURLM* multi, Empfang& empfang, Steady::time_point beginn) {
    fd_set lesen, schreiben, fehler;
    FD_ZERO(&lesen);
    FD_ZERO(&schreiben);
    FD_ZERO(&fehler);
    int hoechster = -1;
    if (curl_multi_fdset(multi, &lesen, &schreiben, &fehler, &hoechster) != CURLM_OK) return;
    for (int fd = 0; fd <= hoechster; ++fd) {
        if (!FD_ISSET(fd, &lesen)) continue;
        const auto um = empfangen_um(fd);
        if (um && *um >= beginn && *um <= Steady::now()) empfang.im_kern = um;
    }
}

// The transfer as curl_easy_perform would run it, but with a look at the sockets each time before
// libcurl reads them. libcurl's own time-out ends the transfer; each wait is no longer than it.
CURLcode uebertragen(CURLM* m, CURL* c, Empfang& e) {
    if (curl_multi_add_handle(m, c) != CURLM_OK) return CURLE_FAILED_INIT;
    const auto beginn = Steady::now();
    int laufend = 1;
    CURLMcode r = CURLM_OK;
    for (;;) {
        vor_dem_lesen(m, e, beginn);
        r = curl_multi_perform(m, &laufend);
        if (r != CURLM_OK || laufend == 0) break;
        r = curl_multi_poll(m, nullptr, 0, 1000, nullptr);
        if (r != CURLM_OK) break;
    }
    CURLcode ergebnis = CURLE_FAILED_INIT;
    int rest = 0;
    while (const CURLMsg* nachricht = curl_multi_info_read(m, &rest))
        if (nachricht->msg == CURLMSG_DONE && nachricht->easy_handle == c) ergebnis = nachricht->data.result;
    curl_multi_remove_handle(m, c);
    return ergebnis;
}

// Whether a URL is plain http, read as libcurl reads it (letter case, a missing scheme).
bool ist_http(const std::string& url) {
    const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> teile(curl_url(), curl_url_cleanup);
    char* schema = nullptr;
    if (!teile || curl_url_set(teile.get(), CURLUPART_URL, url.c_str(), CURLU_GUESS_SCHEME) != CURLUE_OK ||
        curl_url_get(teile.get(), CURLUPART_SCHEME, &schema, 0) != CURLUE_OK)
        return false;
    const bool http = std::string_view(schema) == "http";
    curl_free(schema);
    return http;
}

}  // namespace

Inet_Curl::Inet_Curl(std::chrono::milliseconds zeitlimit) {
    // Called before the first handle exists and on the only thread there is.
    static const bool initialisiert = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!initialisiert) return;
    multi_.reset(curl_multi_init());
    if (!multi_) return;
    curl_.reset(curl_easy_init());
    CURL* c = curl_.get();
    if (!c) return;
    // Proxies come from the usual environment variables, which libcurl reads by itself.
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(zeitlimit.count()));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, Inet_hoechste_Umleitungen);
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(Inet_hoechste_Antwort));
    curl_easy_setopt(c, CURLOPT_USERAGENT, Inet_Kennung);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, empfangen);
    curl_easy_setopt(c, CURLOPT_SOCKOPTFUNCTION, stempeln);
}

std::optional<std::string> Inet_Curl::OpenURL(const std::string& url) {
    angekommen_.reset();
    CURL* c = curl_.get();
    // libcurl takes the URL as a C string: an embedded NUL would quietly shorten it.
    if (!c || url.find('\0') != std::string::npos) return std::nullopt;

    Empfang empfang;
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    // A redirect may raise http to https, never lower https to http: what a service sends over
    // https must not be handed to whoever sits on the plain way to another. Anything not plainly
    // http counts as https here.
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, ist_http(url) ? "http,https" : "https");
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &empfang);
    const CURLcode ergebnis = uebertragen(multi_.get(), c, empfang);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, nullptr);
    if (ergebnis != CURLE_OK || empfang.zu_lang) return std::nullopt;

    long status = 0;
    if (curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status < 200 || status > 299)
        return std::nullopt;
    if (!empfang.koerper.empty()) angekommen_ = empfang.zuletzt;
    return std::move(empfang.koerper);
}

}  // namespace dadaviru
