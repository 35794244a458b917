// Cutting a time answer by characters, and the two writes that one answer makes.
// SPDX-License-Identifier: MIT
#include "sync/zeitantwort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "attrappen.h"

namespace dadaviru::test {
namespace {

struct Schnitt {
    std::string antwort, datum, zeit;
};

TEST(Schneiden, NachZeichenpositionen) {
    for (const auto& [antwort, datum, zeit] : std::vector<Schnitt>{
             {"2026-12-07 13:45:09", "2026-12-07", "13:45:09"},
             {"2026-12-07", "2026-12-07", ""},                   // date only
             {"2026-12-07T13:45:09", "2026-12-07", "13:45:09"},  // the separator may be anything
             {"2026-12-07 13:45:09 CET and more", "2026-12-07", "13:45:09"},
             {"2026-12-07 13:4", "2026-12-07", "13:4"},  // short fields
             {"2026-12", "2026-12", ""},
             {"", "", ""},
             {"\xEF\xBB\xBF"
              "2026-12-07 13:45:09",
              "2026-12-07", "13:45:09"},  // byte-order mark
         }) {
        const auto felder = Antwort_schneiden(antwort);
        EXPECT_EQ(felder.datum, datum) << antwort;
        EXPECT_EQ(felder.zeit, zeit) << antwort;
    }
}

TEST(Schneiden, ZaehltZeichenNichtBytes) {
    // Two-, three- and four-byte characters count once each.
    auto felder = Antwort_schneiden(
        "\xC3\xA4\xC3\xB6\xE2\x82\xAC\xF0\x9F\x95\x90"
        "abcdef 13:45:09");
    EXPECT_EQ(felder.datum,
              "\xC3\xA4\xC3\xB6\xE2\x82\xAC\xF0\x9F\x95\x90"
              "abcdef");
    EXPECT_EQ(felder.zeit, "13:45:09");

    // A stray byte is one character of its own and reads as U+FFFD, so fields stay valid UTF-8.
    felder = Antwort_schneiden(
        "\xFF"
        "026-12-07 13:45:09");
    EXPECT_EQ(felder.datum,
              "\xEF\xBF\xBD"
              "026-12-07");
    EXPECT_EQ(felder.zeit, "13:45:09");

    // A cut-off sequence, an overlong form and a surrogate are each taken byte by byte.
    felder = Antwort_schneiden(
        "\xE2\x82"
        "\xC0\xAF"
        "\xED\xA0\x80"
        "-12 13:45:09");
    EXPECT_EQ(felder.datum.size(), 7u * 3 + 3);
    EXPECT_EQ(felder.zeit, "13:45:09");
}

class Anwenden : public ::testing::Test, protected Attrappen {
protected:
    void anwenden(std::string_view antwort) { Antwort_anwenden(antwort, umwandlung, uhr, Ankunft{}); }
};

// The date first, then the time with that same date; what cannot be read is not written.
TEST_F(Anwenden, JedeAntwortIhreSchreibvorgaenge) {
    struct Fall {
        const char* antwort;
        std::vector<std::string> geschrieben;
    };
    for (const auto& [antwort, geschrieben] : std::vector<Fall>{
             {"2026-12-07 23:59:59", {"Datum 2026-12-07", "Uhrzeit 23:59:59 am 2026-12-07"}},
             {"2026-12-07", {"Datum 2026-12-07"}},
             {"2026-02-30 12:00:00", {"Uhrzeit 12:00:00"}},  // an impossible date leaves the time alone
             {"<!DOCTYPE html><html><head><title>404</title>", {}},
             {"", {}},
             {"Bad Gateway", {}},
             {"2026-12-07 25:00:00", {"Datum 2026-12-07"}},  // the date stands on its own
             {"12:00:00 2026-12-07", {}},                    // the fields in the other order
         }) {
        journal.clear();
        anwenden(antwort);
        EXPECT_EQ(journal, geschrieben) << antwort;
    }
}

}  // namespace
}  // namespace dadaviru::test
