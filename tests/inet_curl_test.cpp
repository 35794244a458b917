// The libcurl client in the HTTP client's tests, and what only it does: a proxy from the environment.
// SPDX-License-Identifier: MIT
#include "app/posix/inet_curl.h"

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "inet_dienste.h"
#include "mitschnitt.h"

namespace dadaviru::test {

std::unique_ptr<Inet_Dienst> Inet_neu(std::chrono::milliseconds zeitlimit) {
    return std::make_unique<Inet_Curl>(zeitlimit);
}

std::size_t Hoechster_Speicher() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return static_cast<std::size_t>(r.ru_maxrss) * 1024;
}

namespace {

using namespace std::chrono_literals;

TEST(InetCurl, ProxyAusDerUmgebung) {
    Inet_Curl inet(10s);
    // A name that never resolves, asked through the proxy the environment names.
    Mitschnitt proxy;
    setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.port)).c_str(), 1);
    const auto antwort = inet.OpenURL("http://zeit.dadaviru.invalid/zeit.php");
    unsetenv("http_proxy");
    EXPECT_EQ(antwort, "2026-12-07 13:45:09");
    EXPECT_TRUE(proxy.anfrage.get().starts_with("GET http://zeit.dadaviru.invalid/zeit.php HTTP/1.1\r\n"));
}

}  // namespace
}  // namespace dadaviru::test
