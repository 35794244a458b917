// The window's HTTP client on POSIX systems, on libcurl.
// SPDX-License-Identifier: MIT
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <memory>

#include "app/inet_grenzen.h"
#include "sync/dienste.h"

namespace dadaviru {

// One easy handle for the life of the client, so connections and name lookups carry over
// from one pass to the next.
class Inet_Curl final : public Inet_Dienst {
public:
    explicit Inet_Curl(std::chrono::milliseconds zeitlimit = Inet_Zeitlimit);
    // Only http and https, also on redirects, which never lead from https to http; a status
    // outside 2xx, a time-out or an answer longer than Inet_hoechste_Antwort gives nothing.
    std::optional<std::string> OpenURL(const std::string& url) override;
    // As the body's last bytes came, before libcurl finished the transfer.
    std::optional<std::chrono::steady_clock::time_point> Angekommen() const override { return angekommen_; }

private:
    struct Curl_freigeben {
        void operator()(CURL* c) const { curl_easy_cleanup(c); }
    };
    std::unique_ptr<CURL, Curl_freigeben> curl_;
    std::optional<std::chrono::steady_clock::time_point> angekommen_;
};

}  // namespace dadaviru
