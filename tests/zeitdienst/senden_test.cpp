// The tick's own send, past the event loop, as a function: what the socket does not take is left, to
// the byte, for the loop to write; a client that is gone is told apart from one that is slow.
// SPDX-License-Identifier: MIT
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "sitzung.h"

namespace zeitdienst {
namespace {

struct Paar {
    int fd[2] = {-1, -1};
    Paar() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd), 0); }
    ~Paar() {
        for (const int f : fd)
            if (f >= 0) ::close(f);
    }
    std::string alles_lesen(std::size_t n) const {
        std::string s(n, '\0');
        std::size_t da = 0;
        while (da < n) {
            const ssize_t r = ::read(fd[1], s.data() + da, n - da);
            if (r <= 0) break;
            da += static_cast<std::size_t>(r);
        }
        s.resize(da);
        return s;
    }
};

TEST(SendenSofort, GanzWennEsPasstSonstDerRestAufsByteGenau) {
    Paar p;
    std::string rest = "alt";
    EXPECT_EQ(senden_sofort(p.fd[0], "2026-12-07 12:45:09", rest), Gesendet::ganz);
    EXPECT_EQ(p.alles_lesen(19), "2026-12-07 12:45:09");

    std::string gross(4 << 20, '\0');
    for (std::size_t i = 0; i < gross.size(); ++i)
        gross[i] = static_cast<char>('a' + i % 26);
    ASSERT_EQ(senden_sofort(p.fd[0], gross, rest), Gesendet::teils);
    ASSERT_LT(rest.size(), gross.size());
    ASSERT_EQ(gross.compare(gross.size() - rest.size(), rest.size(), rest), 0);
    EXPECT_EQ(p.alles_lesen(gross.size() - rest.size()), gross.substr(0, gross.size() - rest.size()));

    // A full buffer takes nothing at all: everything is left.
    std::string voll;
    while (senden_sofort(p.fd[0], gross, voll) == Gesendet::ganz) {
    }
    std::string nichts;
    EXPECT_EQ(senden_sofort(p.fd[0], "x", nichts), Gesendet::teils);
    EXPECT_EQ(nichts, "x");
}

TEST(SendenSofort, EinGegangenerClientIstKeinLangsamer) {
    Paar p;
    ::close(p.fd[1]);
    p.fd[1] = -1;
    std::string rest;
    EXPECT_EQ(senden_sofort(p.fd[0], "2026-12-07 12:45:09", rest), Gesendet::weg);
}

}  // namespace
}  // namespace zeitdienst
