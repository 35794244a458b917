// The helper uhrsteller as a function: which instants it takes, whom it takes them from, which
// capabilities it keeps before it writes, and when it writes nothing; and the writer that runs it,
// against a stand-in helper that records what it was given.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "sync/posix/schreiber.h"
#include "uhrsteller/uhrsteller.h"

namespace dadaviru::test {
namespace {

TEST(Zeitpunkt, NurGenauDieseSchreibweise) {
    const auto zeitpunkt = posix::Zeitpunkt_aus_text(posix::Zeitpunkt_als_text({1'796'644'800, 5'000}));
    ASSERT_TRUE(zeitpunkt);
    EXPECT_EQ(zeitpunkt->tv_sec, 1'796'644'800);
    EXPECT_EQ(zeitpunkt->tv_nsec, 5'000);
    EXPECT_EQ(posix::Zeitpunkt_als_text({0, 0}), "0.000000000");
    for (const char* text : {"", ".", "1796644800", "1796644800.", "1796644800.5", "1796644800.0000000001",
                             "-1.000000000", "+1.000000000", " 1.000000000", "1.000000000 ", "1e9.000000000",
                             "1.-00000000", "8277292036.000000000", "99999999999.000000000", "0x10.000000000"})
        EXPECT_FALSE(posix::Zeitpunkt_aus_text(text)) << text;
    // The last second the kernel takes for the wall clock, to its last nanosecond.
    EXPECT_TRUE(posix::Zeitpunkt_aus_text("8277292035.999999999"));
}

// Capability sets in libcap's text form; records each set the helper asks for.
class Prozessrechte_Attrappe final : public posix::Prozessrechte {
public:
    explicit Prozessrechte_Attrappe(std::string jetzt) : jetzt_(std::move(jetzt)) {}
    std::vector<std::string> gesetzt;
    bool scheitert = false;  // cap_set_proc fails
    bool uebergeht = false;  // cap_set_proc reports success and changes nothing
    posix::Cap Lesen() override { return posix::Cap(cap_from_text(jetzt_.c_str())); }
    bool Setzen(const posix::Cap& rechte) override {
        char* text = cap_to_text(rechte.get(), nullptr);
        gesetzt.push_back(text);
        if (!scheitert && !uebergeht) jetzt_ = text;
        cap_free(text);
        return !scheitert;
    }

private:
    std::string jetzt_;
};

// A user and group database of the test's own. A user without a list is one for whom getgrouplist
// fails.
class Gruppenbuch_Attrappe final : public posix::Gruppenbuch {
public:
    std::map<uid_t, Nutzer> nutzer;
    std::map<std::string, gid_t> gruppen;
    std::map<std::string, std::vector<gid_t>> listen;
    std::optional<Nutzer> Nutzer_mit(uid_t uid) override {
        const auto n = nutzer.find(uid);
        return n == nutzer.end() ? std::nullopt : std::optional(n->second);
    }
    std::optional<gid_t> Gruppe_namens(const char* name) override {
        const auto g = gruppen.find(name);
        return g == gruppen.end() ? std::nullopt : std::optional(g->second);
    }
    std::optional<std::vector<gid_t>> Gruppen_von(const Nutzer& n) override {
        const auto l = listen.find(n.name);
        return l == listen.end() ? std::nullopt : std::optional(l->second);
    }
};

// alice (1000) is in the group dadaviru (50) by the list, bob (1001) by his primary group, whatever
// the list says; carol (1002) is in other groups only.
Gruppenbuch_Attrappe gruppenbuch() {
    Gruppenbuch_Attrappe buch;
    buch.nutzer = {{1000, {"alice", 1000}}, {1001, {"bob", 50}}, {1002, {"carol", 1002}}};
    buch.gruppen = {{"dadaviru", 50}, {"alice", 1000}, {"carol", 1002}, {"video", 44}};
    buch.listen = {{"alice", {1000, 44, 50}}, {"carol", {1002, 44}}};
    return buch;
}

TEST(DarfStellen, RootUndWerLautGruppenbuchInDerGruppeIst) {
    auto buch = gruppenbuch();
    EXPECT_TRUE(posix::Darf_stellen(1000, buch));
    EXPECT_TRUE(posix::Darf_stellen(1001, buch));
    EXPECT_FALSE(posix::Darf_stellen(1002, buch));
    EXPECT_FALSE(posix::Darf_stellen(1003, buch));  // no such user
    Gruppenbuch_Attrappe leer;
    EXPECT_TRUE(posix::Darf_stellen(0, leer));

    // No answer from the database is a no: no list for alice, or no group of that name.
    buch.listen.erase("alice");
    EXPECT_FALSE(posix::Darf_stellen(1000, buch));
    EXPECT_TRUE(posix::Darf_stellen(1001, buch));
    buch = gruppenbuch();
    buch.gruppen.erase("dadaviru");
    EXPECT_FALSE(posix::Darf_stellen(1000, buch));
    EXPECT_FALSE(posix::Darf_stellen(1001, buch));
}

struct Lauf {
    int status;
    std::vector<std::string> gesetzt;
    std::vector<timespec> geschrieben;
};

// The helper's monotonic clock reads 100.5 s whenever it is asked: the instant it is given for
// 100.25 s is a quarter of a second old when written. Run by alice, a member, unless told.
Lauf laufen(Prozessrechte_Attrappe&& rechte, std::vector<const char*> argv, bool kern_nimmt = true, uid_t wer = 1000) {
    argv.insert(argv.begin(), "uhrsteller");
    Lauf lauf;
    auto buch = gruppenbuch();
    const posix::Uhrzugriff uhr{[] {
                                    return timespec{100, 500'000'000};
                                },
                                [&](const timespec& t) {
                                    lauf.geschrieben.push_back(t);
                                    return kern_nimmt;
                                }};
    lauf.status = posix::Uhrsteller(static_cast<int>(argv.size()), argv.data(), {wer, buch}, rechte, uhr);
    lauf.gesetzt = rechte.gesetzt;
    return lauf;
}

TEST(Uhrsteller, BehaeltNurDasZeitrechtUndSchreibtDannEinmalUmDieZeitSeitherWeiter) {
    // With the file capability, and as root with every capability: either way CAP_SYS_TIME alone
    // is left, raised, before the one write.
    for (const char* vorher : {"cap_sys_time=p", "=ep", "cap_net_bind_service=eip cap_sys_time=pi"}) {
        const auto lauf = laufen(Prozessrechte_Attrappe(vorher), {"1796644800.900000000", "100.250000000"});
        EXPECT_EQ(lauf.status, posix::gesetzt) << vorher;
        EXPECT_EQ(lauf.gesetzt, std::vector<std::string>{"cap_sys_time=ep"}) << vorher;
        ASSERT_EQ(lauf.geschrieben.size(), 1u) << vorher;
        EXPECT_EQ(lauf.geschrieben[0].tv_sec, 1'796'644'801);
        EXPECT_EQ(lauf.geschrieben[0].tv_nsec, 150'000'000);
    }
    EXPECT_EQ(laufen(Prozessrechte_Attrappe("cap_sys_time=p"), {"1.000000000", "100.000000000"}, false).status,
              posix::verweigert);
}

TEST(Uhrsteller, WerNichtInDerGruppeIstBekommtKeinRechtUndKeinenSchreibvorgang) {
    // carol, with the capability as a member's shell from before her removal would have it; and
    // someone the database does not know.
    for (const uid_t wer : {1002, 1003}) {
        const auto lauf = laufen(Prozessrechte_Attrappe("cap_sys_time=p"), {"1.000000000", "2.000000000"}, true, wer);
        EXPECT_EQ(lauf.status, posix::kein_mitglied) << wer;
        EXPECT_TRUE(lauf.gesetzt.empty()) << wer;
        EXPECT_TRUE(lauf.geschrieben.empty()) << wer;
    }
    // Root, in no group, as before.
    EXPECT_EQ(laufen(Prozessrechte_Attrappe("=ep"), {"1.000000000", "2.000000000"}, true, 0).status, posix::gesetzt);
}

TEST(Uhrsteller, OhneGueltigenZeitpunktOderOhneSichereRechteKeinSchreibvorgang) {
    const char* const p = "cap_sys_time=p";
    const char* const eins = "1.000000000";
    const char* const zwei = "2.000000000";
    struct Fall {
        const char* vorher;
        std::vector<const char*> argumente;
        bool scheitert, uebergeht;
        int status;
        std::size_t gesetzt;
    };
    for (const auto& [vorher, argumente, scheitert, uebergeht, status, gesetzt] : std::vector<Fall>{
             {p, {eins}, false, false, posix::ungueltig, 0},
             {p, {eins, zwei, "3.000000000"}, false, false, posix::ungueltig, 0},
             {p, {"morgen", zwei}, false, false, posix::ungueltig, 0},
             {p, {eins, "jetzt"}, false, false, posix::ungueltig, 0},
             // A reading the monotonic clock has not reached yet.
             {p, {eins, "100.500000001"}, false, false, posix::ungueltig, 0},
             {"cap_net_bind_service=p", {eins, zwei}, false, false, posix::ohne_recht, 0},
             {"=", {eins, zwei}, false, false, posix::ohne_recht, 0},
             // The raise fails; or it claims success and the sets read back are not what was asked.
             {p, {eins, zwei}, true, false, posix::rechte_fehler, 1},
             {"=ep", {eins, zwei}, false, true, posix::rechte_fehler, 1},
             // Carried forward past the last second the kernel takes.
             {p, {"8277292035.900000000", "100.000000000"}, false, false, posix::ungueltig, 1},
         }) {
        Prozessrechte_Attrappe rechte(vorher);
        rechte.scheitert = scheitert;
        rechte.uebergeht = uebergeht;
        const auto lauf = laufen(std::move(rechte), argumente);
        EXPECT_EQ(lauf.status, status) << vorher << " " << argumente.size();
        EXPECT_EQ(lauf.gesetzt.size(), gesetzt) << vorher;
        EXPECT_TRUE(lauf.geschrieben.empty()) << vorher;
    }
}

// A stand-in helper: writes its arguments and its whole environment to a file, and ends with the
// status it was made with.
class Helferattrappe {
public:
    explicit Helferattrappe(int status) {
        char muster[] = "/tmp/dadaviru-uhrsteller-XXXXXX";
        ordner_ = mkdtemp(muster);
        std::ofstream(ordner_ + "/helfer") << "#!/bin/sh\n"
                                           << "printf '%s\\n' \"$@\" > " << ordner_ << "/argumente\n"
                                           << "tr '\\0' '\\n' < /proc/$$/environ > " << ordner_ << "/umgebung\n"
                                           << "ls /proc/$$/fd > " << ordner_ << "/deskriptoren\n"
                                           << "exit " << status << "\n";
        chmod((ordner_ + "/helfer").c_str(), 0700);
    }
    ~Helferattrappe() { std::system(("rm -rf " + ordner_).c_str()); }
    std::string pfad() const { return ordner_ + "/helfer"; }
    std::vector<std::string> zeilen(const std::string& datei) const {
        std::ifstream ein(ordner_ + "/" + datei);
        std::vector<std::string> zeilen;
        for (std::string zeile; std::getline(ein, zeile);)
            zeilen.push_back(zeile);
        return zeilen;
    }

private:
    std::string ordner_;
};

std::chrono::nanoseconds gelesen(const std::string& text) {
    const auto t = posix::Zeitpunkt_aus_text(text);
    return t ? std::chrono::seconds(t->tv_sec) + std::chrono::nanoseconds(t->tv_nsec) : std::chrono::nanoseconds::min();
}

TEST(SchreiberUhrsteller, GibtDemHelferDenZeitpunktUndSonstNichts) {
    using namespace std::chrono_literals;
    const Helferattrappe helfer(0);
    setenv("DADAVIRU_TEST_GEHEIM", "1", 1);
    setenv("DADAVIRU_TEST_WEITER", "ja", 1);
    // A descriptor the program holds, as it holds its sockets and the display.
    const int offen = 57;
    ASSERT_EQ(dup2(STDERR_FILENO, offen), offen);
    const auto vorher = std::chrono::system_clock::now().time_since_epoch();
    const auto monoton_vorher = std::chrono::steady_clock::now().time_since_epoch();
    EXPECT_EQ(posix::Schreiber_Uhrsteller(helfer.pfad()).Schreiben(-3600s), posix::Schreibergebnis::geschrieben);
    const auto monoton_nachher = std::chrono::steady_clock::now().time_since_epoch();
    const auto nachher = std::chrono::system_clock::now().time_since_epoch();

    // The instant the clock is to show, an hour back from now, and the monotonic reading of now.
    const auto argumente = helfer.zeilen("argumente");
    ASSERT_EQ(argumente.size(), 2u);
    EXPECT_GE(gelesen(argumente[0]), vorher - 3600s);
    EXPECT_LE(gelesen(argumente[0]), nachher - 3600s);
    EXPECT_GE(gelesen(argumente[1]), monoton_vorher);
    EXPECT_LE(gelesen(argumente[1]), monoton_nachher);
    // No environment at all, and none of the program's descriptors.
    EXPECT_TRUE(helfer.zeilen("umgebung").empty());
    const auto deskriptoren = helfer.zeilen("deskriptoren");
    EXPECT_EQ(std::count(deskriptoren.begin(), deskriptoren.end(), std::to_string(offen)), 0);
    close(offen);

    // Only what the build names is handed on.
    EXPECT_EQ(posix::Schreiber_Uhrsteller(helfer.pfad(), {"DADAVIRU_TEST_WEITER", "DADAVIRU_TEST_FEHLT"}).Schreiben(1s),
              posix::Schreibergebnis::geschrieben);
    EXPECT_EQ(helfer.zeilen("umgebung"), std::vector<std::string>{"DADAVIRU_TEST_WEITER=ja"});
    unsetenv("DADAVIRU_TEST_GEHEIM");
    unsetenv("DADAVIRU_TEST_WEITER");
}

TEST(SchreiberUhrsteller, JedesAndereEndeDesHelfersIstEineAblehnung) {
    using namespace std::chrono_literals;
    for (const int status : {posix::verweigert, posix::ohne_recht, posix::rechte_fehler}) {
        const Helferattrappe helfer(status);
        EXPECT_EQ(posix::Schreiber_Uhrsteller(helfer.pfad()).Schreiben(1s), posix::Schreibergebnis::abgelehnt);
    }
    EXPECT_EQ(posix::Schreiber_Uhrsteller("/nonexistent/uhrsteller").Schreiben(1s), posix::Schreibergebnis::abgelehnt);
}

}  // namespace
}  // namespace dadaviru::test
