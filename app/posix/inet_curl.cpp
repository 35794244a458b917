// The window's HTTP client on POSIX systems: a blocking GET with libcurl.
// SPDX-License-Identifier: MIT
#include "inet_curl.h"

#include <memory>
#include <string>
#include <string_view>

namespace dadaviru {

namespace {

struct Empfang {
    std::string koerper;
    bool zu_lang = false;
    std::chrono::steady_clock::time_point zuletzt;  // when the last bytes came
};

size_t empfangen(char* daten, size_t, size_t anzahl, void* ziel) {
    auto& empfang = *static_cast<Empfang*>(ziel);
    if (anzahl > Inet_hoechste_Antwort - empfang.koerper.size()) {
        empfang.zu_lang = true;
        return CURL_WRITEFUNC_ERROR;
    }
    empfang.koerper.append(daten, anzahl);
    empfang.zuletzt = std::chrono::steady_clock::now();
    return anzahl;
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
    const CURLcode ergebnis = curl_easy_perform(c);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, nullptr);
    if (ergebnis != CURLE_OK || empfang.zu_lang) return std::nullopt;

    long status = 0;
    if (curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status < 200 || status > 299)
        return std::nullopt;
    if (!empfang.koerper.empty()) angekommen_ = empfang.zuletzt;
    return std::move(empfang.koerper);
}

}  // namespace dadaviru
