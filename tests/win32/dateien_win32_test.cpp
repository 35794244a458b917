// The override file on Windows, in a real directory: which files count (attributes, folders,
// letter case), that only the current directory is searched, and the bounded read.
// SPDX-License-Identifier: MIT
#include "sync/win32/dateien_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "sync/uebersteuerung.h"
#include "sync/win32/griff.h"

namespace dadaviru::test {
namespace {

// A scratch directory that is the current directory for the length of one test.
class Verzeichnis : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1];
        ASSERT_GT(GetTempPathW(MAX_PATH + 1, temp), 0u);
        wchar_t alt[MAX_PATH + 1];
        ASSERT_GT(GetCurrentDirectoryW(MAX_PATH + 1, alt), 0u);
        vorher = alt;
        ort = std::wstring(temp) + L"dadaviru-test-" + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(ort.c_str(), nullptr)) << GetLastError();
        ASSERT_TRUE(SetCurrentDirectoryW(ort.c_str()));
    }
    void TearDown() override {
        SetCurrentDirectoryW(vorher.c_str());
        leeren(ort);
    }
    static void leeren(const std::wstring& verzeichnis) {
        WIN32_FIND_DATAW e{};
        const win32::Suchgriff suche(FindFirstFileW((verzeichnis + L"\\*").c_str(), &e));
        if (suche) {
            do {
                const std::wstring name = e.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring pfad = verzeichnis + L"\\" + name;
                SetFileAttributesW(pfad.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    leeren(pfad);
                else
                    DeleteFileW(pfad.c_str());
            } while (FindNextFileW(suche.get(), &e));
        }
        RemoveDirectoryW(verzeichnis.c_str());
    }
    static void schreiben(const wchar_t* name, const std::string& inhalt, DWORD attribute = FILE_ATTRIBUTE_NORMAL) {
        const win32::Dateigriff d(
            CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(d);
        DWORD n = 0;
        ASSERT_TRUE(WriteFile(d.get(), inhalt.data(), static_cast<DWORD>(inhalt.size()), &n, nullptr));
        if (attribute != FILE_ATTRIBUTE_NORMAL) {
            ASSERT_TRUE(SetFileAttributesW(name, attribute));
            // Wine keeps DOS attributes in extended attributes, which not every file system has.
            if ((GetFileAttributesW(name) & attribute) != attribute)
                GTEST_SKIP() << "this file system keeps no DOS attributes";
        }
    }
    void entfernen(const wchar_t* name) {
        SetFileAttributesW(name, FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(name);
    }
    std::optional<std::string> url() { return Uebersteuerung_lesen(dateien); }

    std::wstring vorher, ort;
    win32::Dateien_Win32 dateien;
};

TEST_F(Verzeichnis, GewoehnlicheUndSchreibgeschuetzteDatei) {
    EXPECT_EQ(dateien.Datei_suchen("dadaviru.txt").ergebnis, Suchergebnis::fehlt);
    EXPECT_EQ(url(), std::nullopt);

    schreiben(L"dadaviru.txt", "\"http://127.0.0.1:9/zeit.php\",Rest\r\n");
    const auto fund = dateien.Datei_suchen("dadaviru.txt");
    EXPECT_EQ(fund.ergebnis, Suchergebnis::gefunden);
    EXPECT_EQ(fund.name, "dadaviru.txt");
    EXPECT_EQ(url(), "http://127.0.0.1:9/zeit.php");
    entfernen(L"dadaviru.txt");

    schreiben(L"dadaviru.txt", "http://nur-lesen/", FILE_ATTRIBUTE_READONLY);
    if (IsSkipped()) return;
    EXPECT_EQ(dateien.Datei_suchen("dadaviru.txt").ergebnis, Suchergebnis::gefunden);
    EXPECT_EQ(url(), "http://nur-lesen/");
}

TEST_F(Verzeichnis, GrossbuchstabenZaehlenUnterIhremNamen) {
    schreiben(L"DADAVIRU.TXT", "http://gross/");
    const auto fund = dateien.Datei_suchen("dadaviru.txt");
    EXPECT_EQ(fund.ergebnis, Suchergebnis::gefunden);
    EXPECT_EQ(fund.name, "DADAVIRU.TXT");
    EXPECT_EQ(url(), "http://gross/");
}

TEST_F(Verzeichnis, VersteckteUndSystemdateienZaehlenNicht) {
    for (const DWORD attribute : {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM},
                                  DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY}}) {
        schreiben(L"dadaviru.txt", "http://versteckt/", attribute);
        if (IsSkipped()) return;
        EXPECT_EQ(dateien.Datei_suchen("dadaviru.txt").ergebnis, Suchergebnis::fehlt) << attribute;
        EXPECT_EQ(url(), std::nullopt) << attribute;
        entfernen(L"dadaviru.txt");
    }
}

TEST_F(Verzeichnis, EinOrdnerZaehltNicht) {
    ASSERT_TRUE(CreateDirectoryW(L"dadaviru.txt", nullptr));
    EXPECT_EQ(dateien.Datei_suchen("dadaviru.txt").ergebnis, Suchergebnis::fehlt);
    EXPECT_EQ(url(), std::nullopt);
    EXPECT_EQ(dateien.Datei_lesen("dadaviru.txt", 100), std::nullopt);
}

TEST_F(Verzeichnis, NurImAktuellenVerzeichnisUndNurDerAnfang) {
    schreiben(L"dadaviru.txt", "http://hier/");
    ASSERT_TRUE(CreateDirectoryW(L"woanders", nullptr));
    ASSERT_TRUE(SetCurrentDirectoryW(L"woanders"));
    EXPECT_EQ(url(), std::nullopt);
    ASSERT_TRUE(SetCurrentDirectoryW(ort.c_str()));
    EXPECT_EQ(url(), "http://hier/");

    schreiben(L"dadaviru.txt", std::string(Uebersteuerung_hoechstens + 100, 'x'));
    EXPECT_EQ(url(), std::nullopt);  // the first line does not end within the limit
    EXPECT_EQ(dateien.Datei_lesen("dadaviru.txt", 3), "xxx");
    schreiben(L"dadaviru.txt", std::string("\xFE\xFF\0h\0t\0t\0p\0:\0/\0/\0u\0,", 20));
    EXPECT_EQ(url(), "http://u");
    EXPECT_EQ(dateien.Datei_lesen("fehlt.txt", 3), std::nullopt);
}

}  // namespace
}  // namespace dadaviru::test
