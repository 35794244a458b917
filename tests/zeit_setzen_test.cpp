// The run's order of passes, its skip rules and the arming of the exit timer, against stand-ins.
// SPDX-License-Identifier: MIT
#include "sync/zeit_setzen.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "attrappen.h"

namespace dadaviru::test {
namespace {

using ::testing::ElementsAre;

class Lauf : public ::testing::Test, protected Attrappen {
protected:
    const std::string url0{Quellen[0]}, url1{Quellen[1]}, url2{Quellen[2]};
    const std::string url3 = "http://127.0.0.9/eigene";

    void datei_mit(const std::string& inhalt) {
        dateien.fund = {Suchergebnis::gefunden, "dadaviru.txt"};
        dateien.inhalt = inhalt;
    }
    void starten() { Zeit_setzen(inet, timer, plattform); }
};

TEST_F(Lauf, AlleVierAntwortenInDerReihenfolgeUndDerLetzteGewinnt) {
    inet.antworten = {{url0, "2001-01-01 01:01:01"},
                      {url1, "2002-02-02 02:02:02"},
                      {url2, "2003-03-03 03:03:03"},
                      {url3, "2004-04-04 04:04:04\r\n"}};
    datei_mit(url3 + "\n");
    starten();
    EXPECT_THAT(journal, ElementsAre("OpenURL " + url0, "Datum 2001-01-01", "Uhrzeit 01:01:01 am 2001-01-01",
                                     "OpenURL " + url1, "Datum 2002-02-02", "Uhrzeit 02:02:02 am 2002-02-02",
                                     "OpenURL " + url2, "Datum 2003-03-03", "Uhrzeit 03:03:03 am 2003-03-03",
                                     "suchen dadaviru.txt", "lesen dadaviru.txt", "OpenURL " + url3, "Datum 2004-04-04",
                                     "Uhrzeit 04:04:04 am 2004-04-04", "Interval 10", "Enabled true"));
    EXPECT_EQ(uhr.beendet_nach, journal.size() - 2);  // after the last write, before the exit timer
}

TEST_F(Lauf, JedeZeitTraegtDieAnkunftIhrerEigenenAntwort) {
    // Taken once the fetch has returned, not before it began: the fraction written is the time
    // since then.
    inet.antworten = {{url0, "2001-01-01 01:01:01"}, {url2, "2003-03-03 03:03:03"}};
    starten();
    const auto ende = std::chrono::steady_clock::now();
    ASSERT_EQ(inet.beantwortet.size(), 2u);
    ASSERT_EQ(uhr.ankuenfte.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_GE(uhr.ankuenfte[i], inet.beantwortet[i]);
        EXPECT_LE(uhr.ankuenfte[i], i + 1 < 2 ? inet.beantwortet[i + 1] : ende);
    }
}

// A client that read the time as the body was whole knows the arrival better than the moment it
// returned, which comes later by whatever it did after.
TEST_F(Lauf, DieAnkunftDesClientsGilt) {
    inet.antworten = {{url0, "2001-01-01 01:01:01"}};
    inet.angekommen = std::chrono::steady_clock::now() - std::chrono::milliseconds(300);
    starten();
    ASSERT_EQ(uhr.ankuenfte.size(), 1u);
    EXPECT_EQ(uhr.ankuenfte[0], *inet.angekommen);
}

// Pass 2 fails after pass 1 answered, and pass 3 has no file: neither writes pass 1's answer again.
TEST_F(Lauf, EinAusgefallenerDienstAendertNichtsUndDerNaechsteSetztDieUhr) {
    inet.antworten = {{url1, "2002-02-02 02:02:02"}};
    starten();
    EXPECT_THAT(journal,
                ElementsAre("OpenURL " + url0, "OpenURL " + url1, "Datum 2002-02-02", "Uhrzeit 02:02:02 am 2002-02-02",
                            "OpenURL " + url2, "suchen dadaviru.txt", "Interval 10", "Enabled true"));
}

TEST_F(Lauf, OhneUrlAusDerDateiHoltDerVierteDurchgangNichts) {
    inet.antworten = {{url2, "2003-03-03 03:03:03"}};
    for (const auto& [fund, inhalt] : std::vector<std::pair<Dateifund, std::optional<std::string>>>{
             {{Suchergebnis::fehlt, {}}, url3},
             {{Suchergebnis::gefunden, "dadaviru.txt"}, std::nullopt},  // cannot be opened
             {{Suchergebnis::gefunden, "dadaviru.txt"}, ""},            // empty
             {{Suchergebnis::gefunden, "dadaviru.txt"}, "\n" + url3},   // blank first line
         }) {
        journal.clear();
        dateien.fund = fund;
        dateien.inhalt = inhalt;
        starten();
        EXPECT_EQ(std::count(journal.begin(), journal.end(), "OpenURL " + url2), 1);
        EXPECT_EQ(std::count(journal.begin(), journal.end(), "OpenURL " + url3), 0);
        EXPECT_EQ(journal.back(), "Enabled true");
    }
}

TEST_F(Lauf, EinGescheiterterNachschlagOeffnetDieDateiTrotzdem) {
    dateien.suche_wirft = true;
    dateien.inhalt = url3;
    inet.antworten = {{url3, "2004-04-04 04:04:04"}};
    starten();
    EXPECT_THAT(std::vector(journal.end() - 7, journal.end()),
                ElementsAre("suchen dadaviru.txt", "lesen dadaviru.txt", "OpenURL " + url3, "Datum 2004-04-04",
                            "Uhrzeit 04:04:04 am 2004-04-04", "Interval 10", "Enabled true"));

    journal.clear();
    dateien.suche_wirft = false;
    dateien.fund = {Suchergebnis::fehlgeschlagen, {}};
    starten();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "lesen dadaviru.txt"), 1);
}

TEST_F(Lauf, DerGefundeneNameWirdGeoeffnet) {
    dateien.fund = {Suchergebnis::gefunden, "DADAVIRU.TXT"};
    dateien.inhalt = url3;
    starten();
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "lesen DADAVIRU.TXT"), 1);
}

TEST_F(Lauf, OhneJedeAntwortWirdNichtsGeschriebenUndDerTimerDochGestellt) {
    datei_mit(url3);
    starten();
    EXPECT_THAT(journal, ElementsAre("OpenURL " + url0, "OpenURL " + url1, "OpenURL " + url2, "suchen dadaviru.txt",
                                     "lesen dadaviru.txt", "OpenURL " + url3, "Interval 10", "Enabled true"));
}

TEST_F(Lauf, KeinFehlerEntkommtUndJederSchrittLaeuftFuerSich) {
    inet.werfen = true;
    timer.interval_wirft = true;
    datei_mit(url3);
    EXPECT_NO_THROW(starten());
    EXPECT_EQ(
        std::count_if(journal.begin(), journal.end(), [](const std::string& e) { return e.starts_with("OpenURL"); }),
        4);
    EXPECT_THAT(std::vector(journal.end() - 2, journal.end()), ElementsAre("Interval 10", "Enabled true"));
}

TEST_F(Lauf, VerweigerteUhrGehtWeiterUndSchreibtDieZeitOhneDatum) {
    // Without the right to change the clock both writes fail; a refused date is not handed to the time write.
    uhr.verweigert = true;
    inet.antworten = {{url0, "2001-01-01 01:01:01"}};
    starten();
    EXPECT_THAT(std::vector(journal.begin(), journal.begin() + 3),
                ElementsAre("OpenURL " + url0, "Datum 2001-01-01 verweigert", "Uhrzeit 01:01:01 verweigert"));
    EXPECT_EQ(journal.back(), "Enabled true");
}

}  // namespace
}  // namespace dadaviru::test
