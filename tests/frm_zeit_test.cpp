// The window's start modes against a stand-in window system: what starts the run, that a process
// runs at most once, when the exit timer is armed, and how closing the window ends the program.
// SPDX-License-Identifier: MIT
#include "app/frm_zeit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "attrappen.h"
#include "sync/zeit_setzen.h"

namespace dadaviru::test {
namespace {

using ::testing::ElementsAre;

struct Beendet {};

const char* name(Timer_Name t) { return t == Timer_Name::Timer_start ? "Timer_start" : "Timer_ende"; }

class Fenstersystem_Attrappe final : public Fenstersystem {
public:
    explicit Fenstersystem_Attrappe(Journal& j) : journal_(j) {}
    void Timer_starten(Timer_Name t, int ms) override {
        journal_.push_back(std::string(name(t)) + " tickt alle " + std::to_string(ms));
    }
    void Timer_anhalten(Timer_Name) override {}
    void Zeigen() override { journal_.push_back("Zeigen"); }
    void Beenden() override {
        journal_.push_back("Beenden");
        throw Beendet{};
    }

private:
    Journal& journal_;
};

// Lets a test act while the run is inside a fetch, as a window event arriving mid-run would.
class Inet_mit_Zwischenfall final : public Inet_Dienst {
public:
    Inet_mit_Zwischenfall(Journal& j, std::function<void()> zwischenfall) : journal_(j), zwischenfall_(zwischenfall) {}
    std::optional<std::string> OpenURL(const std::string& url) override {
        journal_.push_back("OpenURL " + url);
        if (zwischenfall_) std::exchange(zwischenfall_, nullptr)();
        return std::nullopt;
    }

private:
    Journal& journal_;
    std::function<void()> zwischenfall_;
};

class Fenster : public ::testing::Test, protected Attrappen {
protected:
    Fenstersystem_Attrappe system{journal};

    const std::vector<std::string> lauf = {"OpenURL " + std::string(Quellen[0]), "OpenURL " + std::string(Quellen[1]),
                                           "OpenURL " + std::string(Quellen[2]), "suchen dadaviru.txt"};
    std::vector<std::string> mit_lauf(std::vector<std::string> vorher, const std::vector<std::string>& nachher) {
        vorher.insert(vorher.end(), lauf.begin(), lauf.end());
        vorher.insert(vorher.end(), nachher.begin(), nachher.end());
        return vorher;
    }
};

TEST_F(Fenster, DadaviruSynchronisiertBeimLadenUndZeigtSichDanach) {
    frm_Zeit form(Startmodus::beim_Laden, inet, system, plattform);
    form.Laden();
    EXPECT_EQ(journal, mit_lauf({}, {"Timer_ende tickt alle 10", "Zeigen"}));
    journal.clear();
    EXPECT_THROW(form.Timer_ende_Timer(), Beendet);
    EXPECT_THAT(journal, ElementsAre("Beenden"));
}

// The tests link the shipped interval, so this also holds the programs as shipped to their 30 s.
TEST_F(Fenster, AutostartZeigtSichUndWartetAufDenErstenTick) {
    frm_Zeit form(Startmodus::nach_Wartezeit, inet, system, plattform);
    form.Laden();
    EXPECT_THAT(journal, ElementsAre("Timer_start tickt alle 30000", "Zeigen"));
    journal.clear();
    form.Timer_start_Timer();
    EXPECT_EQ(journal, mit_lauf({}, {"Timer_ende tickt alle 10"}));
}

TEST_F(Fenster, EinProzessSynchronisiertHoechstensEinmal) {
    frm_Zeit form(Startmodus::nach_Wartezeit, inet, system, plattform);
    form.Laden();
    form.Timer_start_Timer();
    journal.clear();
    form.Timer_start_Timer();  // the start timer keeps ticking, e.g. after a run longer than 30 s
    form.Form_Load();
    EXPECT_TRUE(journal.empty());

    // A tick that arrives during the run starts no second one either.
    journal.clear();
    frm_Zeit* zweites = nullptr;
    Inet_mit_Zwischenfall inet_tick(journal, [&] { zweites->Timer_start_Timer(); });
    frm_Zeit form2(Startmodus::nach_Wartezeit, inet_tick, system, plattform);
    zweites = &form2;
    form2.Laden();
    form2.Timer_start_Timer();
    EXPECT_EQ(std::count_if(journal.begin(), journal.end(), [](auto& e) { return e.starts_with("OpenURL"); }), 3);
}

TEST_F(Fenster, SchliessenVorDemErstenTickEndetOhneLauf) {
    frm_Zeit form(Startmodus::nach_Wartezeit, inet, system, plattform);
    form.Laden();
    EXPECT_THROW(form.Schliessen(), Beendet);
    EXPECT_EQ(std::count_if(journal.begin(), journal.end(), [](auto& e) { return e.starts_with("OpenURL"); }), 0);
}

TEST_F(Fenster, SchliessenWaehrendDesLaufsWirktWennErZurueckkehrt) {
    frm_Zeit* form = nullptr;
    Inet_mit_Zwischenfall inet_schliessen(journal, [&] { form->Schliessen(); });
    frm_Zeit f(Startmodus::nach_Wartezeit, inet_schliessen, system, plattform);
    form = &f;
    f.Laden();
    journal.clear();
    EXPECT_THROW(f.Timer_start_Timer(), Beendet);
    // Every pass still ran, and the exit timer was armed, before the program ended.
    EXPECT_EQ(journal, mit_lauf({}, {"Timer_ende tickt alle 10", "Beenden"}));
}

}  // namespace
}  // namespace dadaviru::test
