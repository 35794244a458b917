// The override file on POSIX systems: finding and reading it in a real directory.
// SPDX-License-Identifier: MIT
#include "sync/uebersteuerung.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "sync/posix/dateien_posix.h"

namespace dadaviru::test {
namespace {

namespace fs = std::filesystem;

// A scratch directory that is the current directory for the length of one test.
class Verzeichnis : public ::testing::Test {
protected:
    fs::path vorher = fs::current_path();
    fs::path ort = fs::temp_directory_path() / ("dadaviru-test-" + std::to_string(getpid()));
    posix::Dateien_Posix dateien;

    void SetUp() override {
        fs::remove_all(ort);
        fs::create_directories(ort);
        fs::current_path(ort);
    }
    void TearDown() override {
        fs::current_path(vorher);
        fs::permissions(ort, fs::perms::owner_all);
        fs::remove_all(ort);
    }
    static void schreiben(const fs::path& p, const std::string& inhalt) {
        std::ofstream(p, std::ios::binary) << inhalt;
    }
    std::optional<std::string> url() { return Uebersteuerung_lesen(dateien); }
};

TEST_F(Verzeichnis, DateiMitUrl) {
    schreiben("dadaviru.txt", "http://127.0.0.1:9/zeit.php,zweites Feld\n");
    EXPECT_EQ(url(), "http://127.0.0.1:9/zeit.php");
}

TEST_F(Verzeichnis, GrossUndKleinschreibungZaehltNicht) {
    schreiben("DaDaViRu.TXT", "http://gross/");
    EXPECT_EQ(url(), "http://gross/");
    schreiben("DADAVIRU.TXT", "http://alles-gross/");
    EXPECT_EQ(url(), "http://alles-gross/");  // the first in byte order
    schreiben("dadaviru.txt", "http://genau/");
    EXPECT_EQ(url(), "http://genau/");  // the exact spelling wins
}

TEST_F(Verzeichnis, KeineDateiLeereDateiVerzeichnisFifo) {
    EXPECT_EQ(dateien.Datei_suchen("dadaviru.txt").ergebnis, Suchergebnis::fehlt);
    EXPECT_EQ(url(), std::nullopt);

    schreiben("dadaviru.txt", "");
    EXPECT_EQ(url(), std::nullopt);
    fs::remove("dadaviru.txt");

    fs::create_directory("dadaviru.txt");
    EXPECT_EQ(dateien.Datei_suchen("dadaviru.txt").ergebnis, Suchergebnis::fehlt);
    EXPECT_EQ(url(), std::nullopt);
    fs::remove("dadaviru.txt");

    ASSERT_EQ(mkfifo("dadaviru.txt", 0600), 0);
    EXPECT_EQ(dateien.Datei_suchen("dadaviru.txt").ergebnis, Suchergebnis::fehlt);
    EXPECT_EQ(dateien.Datei_lesen("dadaviru.txt", 100), std::nullopt);  // and opening it does not block
}

TEST_F(Verzeichnis, SymlinkAufEineDateiZaehlt) {
    schreiben("ziel", "http://ueber-link/");
    fs::create_symlink("ziel", "dadaviru.txt");
    EXPECT_EQ(url(), "http://ueber-link/");
    fs::remove("ziel");  // now dangling
    EXPECT_EQ(url(), std::nullopt);
}

TEST_F(Verzeichnis, NurDerAnfangUndUtf16) {
    const std::string lang(Uebersteuerung_hoechstens + 100, 'x');
    schreiben("dadaviru.txt", lang);  // a first line that does not end within the limit
    EXPECT_EQ(url(), std::nullopt);
    schreiben("dadaviru.txt", "http://kurz/\n" + lang);
    EXPECT_EQ(url(), "http://kurz/");
    schreiben("dadaviru.txt", std::string("\xFF\xFEh\0t\0t\0p\0:\0/\0/\0u\0\r\0\n\0", 22));
    EXPECT_EQ(url(), "http://u");
}

TEST_F(Verzeichnis, EsZaehltDasAktuelleVerzeichnis) {
    schreiben("dadaviru.txt", "http://hier/");
    fs::create_directory("woanders");
    fs::current_path("woanders");
    EXPECT_EQ(url(), std::nullopt);
    fs::current_path(ort);
    EXPECT_EQ(url(), "http://hier/");
}

// Runs `pruefen` in a child process as an ordinary user, where permissions hold even when the
// tests themselves run as root. The child's result is its exit status: 0 when every check held.
int als_gewoehnlicher_nutzer(const std::function<int()>& pruefen) {
    const pid_t kind = fork();
    if (kind == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
        _exit(pruefen());
    }
    int status = 0;
    waitpid(kind, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

TEST_F(Verzeichnis, UnlesbareDateiUndUnlesbaresVerzeichnis) {
    schreiben("dadaviru.txt", "http://geheim/");
    fs::permissions("dadaviru.txt", fs::perms::none);
    fs::permissions(ort, fs::perms::all);
    EXPECT_EQ(als_gewoehnlicher_nutzer([&] {
                  const bool gefunden = dateien.Datei_suchen("dadaviru.txt").ergebnis == Suchergebnis::gefunden;
                  return (gefunden ? 0 : 1) | (url() == std::nullopt ? 0 : 2);
              }),
              0);

    // A directory that cannot be listed: the lookup fails, and the file is then opened under its own name.
    fs::permissions("dadaviru.txt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(ort, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec);
    EXPECT_EQ(als_gewoehnlicher_nutzer([&] {
                  const bool fehlgeschlagen =
                      dateien.Datei_suchen("dadaviru.txt").ergebnis == Suchergebnis::fehlgeschlagen;
                  return (fehlgeschlagen ? 0 : 1) | (url() == "http://geheim/" ? 0 : 2);
              }),
              0);
}

}  // namespace
}  // namespace dadaviru::test
