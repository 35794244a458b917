// The window's HTTP client on POSIX systems, on libcurl.
// SPDX-License-Identifier: MIT
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <memory>

#include "app/inet_grenzen.h"
#include "sync/dienste.h"

namespace dadaviru {

// One easy handle and one multi handle for the life of the client, so connections and name lookups
// carry over from one pass to the next.
class Inet_Curl final : public Inet_Dienst {
public:
    explicit Inet_Curl(std::chrono::milliseconds zeitlimit = Inet_Zeitlimit);
    // Only http and https, also on redirects, which never lead from https to http; a status
    // outside 2xx, a time-out or an answer longer than Inet_hoechste_Antwort gives nothing.
    std::optional<std::string> OpenURL(const std::string& url) override;
    // As the kernel received the body's last bytes, not as the program came round to reading them:
    // the wake-up and the read on a busy machine would set the clock behind by that much.
    std::optional<std::chrono::steady_clock::time_point> Angekommen() const override { return angekommen_; }

private:
    struct Curl_freigeben {
        void operator()(CURL* c) const { curl_easy_cleanup(c); }
    };
    struct Multi_freigeben {
        void operator()(CURLM* m) const { curl_multi_cleanup(m); }
    };
    // The easy handle goes first; it is in the multi handle only while a transfer runs.
    std::unique_ptr<CURLM, Multi_freigeben> multi_;
    std::unique_ptr<CURL, Curl_freigeben> curl_;
    std::optional<std::chrono::steady_clock::time_point> angekommen_;
};

}  // namespace dadaviru
