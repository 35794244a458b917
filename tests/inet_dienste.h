// The time services the test script started for the HTTP client's tests, by name, from
// DADAVIRU_ZEITDIENSTE ("name=port name=port ..."); the same services for the Linux and the Windows client.
// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

namespace dadaviru::test {

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

private:
    std::map<std::string, std::string> ports_;
};

}  // namespace dadaviru::test
