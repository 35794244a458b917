// The first field of the override file: quotes, commas, line ends, blanks and byte-order marks.
#include "sync/uebersteuerung.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
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
             {"http://a.example/zeit", "http://a.example/zeit"},
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

}  // namespace
}  // namespace dadaviru::test
