// frm_Zeit's Win32 window: its design values as Windows reports them, and window timers and
// WM_CLOSE reaching the form's handlers. Ending the process is replaced by a note in the journal.
// SPDX-License-Identifier: MIT
#include "app/win32/fenster_win32.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

#include "attrappen.h"
#include "sync/zeit_setzen.h"

namespace dadaviru::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

int dpi_von(HWND fenster) {
    const auto freigeben = [fenster](HDC dc) { ReleaseDC(fenster, dc); };
    const std::unique_ptr<std::remove_pointer_t<HDC>, decltype(freigeben)> dc(GetDC(fenster), freigeben);
    return GetDeviceCaps(dc.get(), LOGPIXELSX);
}

class Fenster_Win32 : public ::testing::Test, protected Attrappen {
protected:
    // Dispatches the thread's messages until `fertig` holds or `hoechstens` has passed.
    bool pumpen(const std::function<bool()>& fertig, std::chrono::milliseconds hoechstens) {
        const auto ende = std::chrono::steady_clock::now() + hoechstens;
        while (!fertig()) {
            if (std::chrono::steady_clock::now() >= ende) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&m);
                DispatchMessageW(&m);
            }
        }
        return true;
    }
    bool beendet() const { return std::find(journal.begin(), journal.end(), "Beenden") != journal.end(); }

    Fenstersystem_Win32 system{GetModuleHandleW(nullptr), [this] { journal.push_back("Beenden"); }};
};

TEST_F(Fenster_Win32, EntwurfswerteWieWindowsSieMeldet) {
    const HWND f = system.fenster();
    ASSERT_TRUE(f);
    EXPECT_FALSE(IsWindowVisible(f));  // shown by Laden, after Form_Load

    wchar_t titel[64] = {};
    GetWindowTextW(f, titel, 64);
    EXPECT_STREQ(titel, L"Zudedaruzu");

    // 1815 x 615 twips at 15 twips per pixel, at the 96 dpi of the test's display.
    ASSERT_EQ(dpi_von(f), 96);
    RECT innen{};
    ASSERT_TRUE(GetClientRect(f, &innen));
    EXPECT_EQ(std::make_pair(innen.right, innen.bottom), std::make_pair(LONG{121}, LONG{41}));

    const LONG_PTR stil = GetWindowLongPtrW(f, GWL_STYLE);
    EXPECT_EQ(stil & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
    EXPECT_EQ(stil & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
    EXPECT_EQ(GetMenu(f), nullptr);

    LOGBRUSH pinsel{};
    const auto hintergrund = reinterpret_cast<HGDIOBJ>(GetClassLongPtrW(f, GCLP_HBRBACKGROUND));
    ASSERT_EQ(GetObjectW(hintergrund, sizeof pinsel, &pinsel), static_cast<int>(sizeof pinsel));
    EXPECT_EQ(pinsel.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(pinsel.lbColor, RGB(192, 192, 255));
}

TEST_F(Fenster_Win32, NachWartezeitZeigtLaufTimerUndEnde) {
    frm_Zeit form(Startmodus::nach_Wartezeit, inet, system, plattform);
    system.verbinden(form);
    form.Laden();
    EXPECT_TRUE(IsWindowVisible(system.fenster()));
    EXPECT_TRUE(journal.empty());  // Timer_start waits 30 s
    // Timer_start's tick, sooner than 30 s: the run, then Timer_ende's tick, then the end.
    system.Timer_starten(Timer_Name::Timer_start, 10);
    ASSERT_TRUE(pumpen([&] { return beendet(); }, std::chrono::seconds(5)));
    EXPECT_THAT(journal, ElementsAre("OpenURL " + std::string(Quellen[0]), "OpenURL " + std::string(Quellen[1]),
                                     "OpenURL " + std::string(Quellen[2]), "suchen dadaviru.txt", "Beenden"));
}

TEST_F(Fenster_Win32, AngehaltenerTimerTicktNicht) {
    frm_Zeit form(Startmodus::beim_Laden, inet, system, plattform);
    system.verbinden(form);
    system.Timer_starten(Timer_Name::Timer_ende, 10);
    system.Timer_anhalten(Timer_Name::Timer_ende);
    EXPECT_FALSE(pumpen([&] { return beendet(); }, std::chrono::milliseconds(300)));
    system.Timer_starten(Timer_Name::Timer_ende, 10);
    EXPECT_TRUE(pumpen([&] { return beendet(); }, std::chrono::seconds(5)));
}

TEST_F(Fenster_Win32, SchliessenGehtAnDieForm) {
    frm_Zeit form(Startmodus::nach_Wartezeit, inet, system, plattform);
    system.verbinden(form);
    form.Laden();
    SendMessageW(system.fenster(), WM_CLOSE, 0, 0);
    EXPECT_THAT(journal, ElementsAre("Beenden"));
    EXPECT_TRUE(IsWindow(system.fenster()));  // the form ends the program; the window is not destroyed
    // The close button sends WM_SYSCOMMAND, which Windows turns into WM_CLOSE.
    SendMessageW(system.fenster(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_THAT(journal, ElementsAre("Beenden", "Beenden"));
    EXPECT_THAT(journal, ::testing::Not(Contains(::testing::StartsWith("OpenURL"))));
}

}  // namespace
}  // namespace dadaviru::test
