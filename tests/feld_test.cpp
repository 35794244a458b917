// The first field of the override file: quotes, commas, line ends, blanks and byte-order marks.
// SPDX-License-Identifier: MIT
#include "sync/uebersteuerung.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dadaviru::test {
namespace {

TEST(Feld, RegelnDesErstenFeldes) {
    struct Fall {
        std::string text;
        std::optional<std::string> feld;
    };
    for (const auto& [text, feld] : std::vector<Fall>{
             {"http://a.example/zeit", "http://a.example/zeit"},
             {"http://a.example/zeit\r\nzweite Zeile", "http://a.example/zeit"},
             {"http://a.example/zeit,Rest,mehr", "http://a.example/zeit"},
             {"\"http://a.example/zeit\"", "http://a.example/zeit"},
             {"\"http://a.example/?a=1,b=2\",Rest", "http://a.example/?a=1,b=2"},
             {" \t  http://a.example/zeit", "http://a.example/zeit"},
             {"http://a.example/zeit \t \n", "http://a.example/zeit"},
             {"\t\"http://a.example/zeit\" ", "http://a.example/zeit"},
             {"\"http://a.example/zeit\nnoch\"", "http://a.example/zeit\nnoch"},  // quotes hold a line end too
             {"\"http://a.example/zeit\nkein Ende", "http://a.example/zeit"},     // no closing quote
             {"http://a.\"example\"/zeit", "http://a.\"example\"/zeit"},
             {"\xEF\xBB\xBFhttp://a.example/zeit", "http://a.example/zeit"},
             {"", std::nullopt},
             {"   \t ", std::nullopt},
             {"\nhttp://a.example/zeit", std::nullopt},
             {"\r\nhttp://a.example/zeit", std::nullopt},
             {",http://a.example/zeit", std::nullopt},
             {"\"\"", std::nullopt},
             {"\xEF\xBB\xBF", std::nullopt},
         }) {
        EXPECT_EQ(Feld_lesen(text), feld) << text;
    }
}

TEST(Feld, AmEndeEinesAbgeschnittenenTextesHatDasFeldKeinEnde) {
    EXPECT_EQ(Feld_lesen("http://a.example/zeit", true), std::nullopt);
    EXPECT_EQ(Feld_lesen("\"http://a.example/zeit", true), std::nullopt);
    EXPECT_EQ(Feld_lesen("http://a.example/zeit,Rest", true), "http://a.example/zeit");
    EXPECT_EQ(Feld_lesen("\"http://a.example/zeit\"", true), "http://a.example/zeit");
    EXPECT_EQ(Feld_lesen("\"http://a.example/zeit\nRest", true), "http://a.example/zeit");
}

TEST(Feld, Utf16MitByteOrderMark) {
    const auto b = [](std::string_view s) { return std::string(s); };
    for (const auto& [bytes, text] : std::vector<std::pair<std::string, std::string>>{
             {b({"\xFF\xFEh\0:\0\xE4\0", 8}), "h:\xC3\xA4"},            // LE, U+00E4
             {b({"\xFE\xFF\0h\x20\xAC", 6}), "h\xE2\x82\xAC"},          // BE, U+20AC
             {b({"\xFF\xFE\x3D\xD8\x00\xDE", 6}), "\xF0\x9F\x98\x80"},  // a surrogate pair
             {b({"\xFF\xFE\x3D\xD8h\0", 6}), "\xEF\xBF\xBDh"},          // a lone high surrogate
             {b({"\xFF\xFEh\0i", 5}), "h"},                             // an odd last byte
             {"http://a.example/", "http://a.example/"},                // no mark: as it is
         }) {
        EXPECT_EQ(Als_utf8(bytes), text) << text;
    }
}

}  // namespace
}  // namespace dadaviru::test
