// The time service's access log lines as functions: what a client sends cannot reach the terminal
// that shows the log. (The file itself, its links and its rotation, are tested on the running service.)
// SPDX-License-Identifier: MIT
#include "protokoll.h"

#include <gtest/gtest.h>

namespace zeitdienst {
namespace {

TEST(Sicher, JedesByteDesClientsAusserhalbVonDruckbaremAsciiAlsHex) {
    EXPECT_EQ(sicher("GET /zeit.php?a=b HTTP/1.1"), "GET /zeit.php?a=b HTTP/1.1");
    // CSI (U+009B) and the right-to-left override (U+202E) in UTF-8, a raw CSI byte, escape, DEL, and
    // the quote and backslash that would end the field or fake an escape of ours.
    EXPECT_EQ(sicher("/\xc2\x9b\xe2\x80\xae\x9b\x1b[2J\x7f\"\\"),
              "/\\xC2\\x9B\\xE2\\x80\\xAE\\x9B\\x1B[2J\\x7F\\x22\\x5C");
    EXPECT_EQ(sicher(std::string_view("a\0b\r\n", 5)), "a\\x00b\\x0D\\x0A");
    // So long a line could not go out whole in one write, and would not be read anyway.
    EXPECT_LT(sicher(std::string(100000, '\xff')).size(), 4000u);
}

TEST(Protokollzeile, CommonLogFormatMitSichererAnfragezeile) {
    ASSERT_TRUE(zone_waehlen("Asia/Kathmandu"));
    const Sekunde s{std::chrono::seconds{1796643909}};
    EXPECT_EQ(Protokoll::zeile("192.0.2.1", "GET /\x9b\" HTTP/1.1", 200, kTextLaenge, s),
              "192.0.2.1 - - [07/Dec/2026:17:30:09 +0545] \"GET /\\x9B\\x22 HTTP/1.1\" 200 19\n");
    EXPECT_EQ(Protokoll::zeile("2001:db8::1", "-", 431, 0, s),
              "2001:db8::1 - - [07/Dec/2026:17:30:09 +0545] \"-\" 431 -\n");
}

}  // namespace
}  // namespace zeitdienst
