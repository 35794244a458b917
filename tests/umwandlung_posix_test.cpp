// Dates on POSIX systems in the order of the user's LC_TIME locale, as the session's environment names it.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <locale.h>
#include <cstdlib>

#include "sync/posix/umwandlung_posix.h"

namespace dadaviru::test {
namespace {

// Sets a locale for LC_TIME through the environment, the way a user's session does.
class Ort : public ::testing::Test {
protected:
    void TearDown() override { unsetenv("LC_ALL"); }
    static void ort(const char* name) {
        const locale_t vorhanden = newlocale(LC_TIME_MASK, name, nullptr);
        ASSERT_NE(vorhanden, nullptr) << name << " is not installed; tools/einrichten.sh generates it";
        freelocale(vorhanden);
        setenv("LC_ALL", name, 1);
    }
    posix::Umwandlung_Posix umwandlung;
};

TEST_F(Ort, Deutsch) {
    ort("de_DE.UTF-8");
    EXPECT_EQ(umwandlung.Datum_lesen("07.12.2026"), (Datum{2026, 12, 7}));
    EXPECT_EQ(umwandlung.Datum_lesen("2026-12-07"), (Datum{2026, 12, 7}));
    EXPECT_EQ(umwandlung.Datum_lesen("12/07/2026"), std::nullopt);
    EXPECT_EQ(umwandlung.Uhrzeit_lesen("13:45:09"), (Uhrzeit{13, 45, 9}));
}

TEST_F(Ort, AmerikanischesEnglisch) {
    ort("en_US.UTF-8");
    EXPECT_EQ(umwandlung.Datum_lesen("12/07/2026"), (Datum{2026, 12, 7}));
    EXPECT_EQ(umwandlung.Datum_lesen("2026-12-07"), (Datum{2026, 12, 7}));
    EXPECT_EQ(umwandlung.Datum_lesen("07.12.2026"), std::nullopt);
    EXPECT_EQ(umwandlung.Datum_lesen("13/07/2026"), std::nullopt);
}

TEST_F(Ort, NichtInstallierterOrtLaesstIso) {
    setenv("LC_ALL", "xx_XX.UTF-8", 1);
    EXPECT_EQ(umwandlung.Datum_lesen("2026-12-07"), (Datum{2026, 12, 7}));
    EXPECT_EQ(umwandlung.Datum_lesen("07.12.2026"), std::nullopt);
}

}  // namespace
}  // namespace dadaviru::test
