// What the HTTP client's tests share: the time services the test script started, by name, from
// DADAVIRU_ZEITDIENSTE ("name=port name=port ..."), and the client of the platform the tests run on.
// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "sync/dienste.h"

namespace dadaviru::test {

// What each platform's test file provides: its client with a request time limit, and the peak of the
// process's memory in bytes.
std::unique_ptr<Inet_Dienst> Inet_neu(std::chrono::milliseconds zeitlimit);
std::size_t Hoechster_Speicher();

// The limit the deadline tests give the client: far below what any of their services would take.
inline constexpr std::chrono::milliseconds Inet_Testfrist{1500};
inline constexpr std::chrono::seconds Inet_Testfrist_hoechstens{5};

class Inet : public ::testing::Test {
protected:
    void SetUp() override {
        const char* liste = std::getenv("DADAVIRU_ZEITDIENSTE");
        std::istringstream woerter(liste ? liste : "");
        std::string wort;
        while (woerter >> wort)
            if (const auto gleich = wort.find('='); gleich != std::string::npos)
                ports_[wort.substr(0, gleich)] = wort.substr(gleich + 1);
        if (ports_.empty()) GTEST_FAIL() << "DADAVIRU_ZEITDIENSTE names no time services";
    }
    // The URL of a named service; a name the script did not start fails the test.
    std::string url(const std::string& name, const std::string& pfad = "/zeit.php") const {
        const auto it = ports_.find(name);
        EXPECT_NE(it, ports_.end()) << "no service " << name;
        return "http://127.0.0.1:" + (it == ports_.end() ? std::string("1") : it->second) + pfad;
    }
    // A new client for one test, kept as long as the test runs.
    Inet_Dienst& client(std::chrono::milliseconds zeitlimit) {
        client_ = Inet_neu(zeitlimit);
        return *client_;
    }

private:
    std::map<std::string, std::string> ports_;
    std::unique_ptr<Inet_Dienst> client_;
};

}  // namespace dadaviru::test
