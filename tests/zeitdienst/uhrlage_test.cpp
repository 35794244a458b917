// The time service's verdict on its own clock, from what the kernel's adjtimex() says.
// SPDX-License-Identifier: MIT
#include "uhrlage.h"

#include <sys/timex.h>

#include <gtest/gtest.h>

#include <cerrno>

namespace zeitdienst {
namespace {

using namespace std::chrono;

TEST(Uhrlage, NurEineUhrDieDerKernelFuerGestelltHaeltUndDieImFehlerrahmenBleibt) {
    struct Fall {
        int rueckgabe, fehler, status;
        long maxfehler_us;
        bool synchron;
        const char* grund;  // a part of what the log says
    };
    for (const Fall& f : {
             Fall{TIME_OK, 0, STA_PLL, 12'000, true, "0.012 s"},
             Fall{TIME_INS, 0, STA_PLL | STA_INS, 12'000, true, "0.012 s"},  // a leap second to come
             Fall{TIME_OK, 0, STA_PLL, 2'000'000, true, "2.000 s"},          // the bound itself
             Fall{TIME_OK, 0, STA_PLL, 2'000'001, false, "above the bound of 2.000 s"},
             Fall{TIME_ERROR, 0, STA_UNSYNC, 16'000'000, false, "TIME_ERROR STA_UNSYNC, maximum error 16.000 s"},
             Fall{TIME_OK, 0, STA_UNSYNC, 500, false, "STA_UNSYNC"},
             Fall{TIME_ERROR, 0, 0, 500, false, "TIME_ERROR"},
             Fall{-1, EPERM, 0, 0, false, "cannot be read (adjtimex: Operation not permitted)"},
         }) {
        const Uhrlage l = uhrlage_beurteilen(f.rueckgabe, f.fehler, f.status, f.maxfehler_us, 2000ms);
        EXPECT_EQ(l.synchron, f.synchron) << l.grund;
        EXPECT_NE(l.grund.find(f.grund), std::string::npos) << l.grund;
    }
}

}  // namespace
}  // namespace zeitdienst
