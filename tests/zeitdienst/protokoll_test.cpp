// The time service's access log as a function: what a client sends cannot reach the terminal that
// shows the log, and the file cannot be a link to another one, before or after rotation.
// SPDX-License-Identifier: MIT
#include "protokoll.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zeitdienst {
namespace {

namespace fs = std::filesystem;

TEST(Sicher, EveryByteAClientChoseOutsidePrintableAsciiIsWrittenAsHex) {
    EXPECT_EQ(sicher("GET /zeit.php?a=b HTTP/1.1"), "GET /zeit.php?a=b HTTP/1.1");
    // CSI (U+009B) and the right-to-left override (U+202E) in UTF-8, a raw CSI byte, escape, DEL, and
    // the quote and backslash that would end the field or fake an escape of ours.
    EXPECT_EQ(sicher("/\xc2\x9b\xe2\x80\xae\x9b\x1b[2J\x7f\"\\"),
              "/\\xC2\\x9B\\xE2\\x80\\xAE\\x9B\\x1B[2J\\x7F\\x22\\x5C");
    EXPECT_EQ(sicher(std::string_view("a\0b\r\n", 5)), "a\\x00b\\x0D\\x0A");
    // So long a line could not go out whole in one write, and would not be read anyway.
    EXPECT_LT(sicher(std::string(100000, '\xff')).size(), 4000u);
}

class ProtokollDatei : public ::testing::Test {
protected:
    void SetUp() override {
        ordner_ = fs::temp_directory_path() / ("zeitdienst-protokoll-" + std::to_string(::getpid()));
        fs::create_directories(ordner_);
        alte_maske_ = ::umask(022);
    }
    void TearDown() override {
        ::umask(alte_maske_);
        fs::remove_all(ordner_);
    }
    static std::string inhalt(const fs::path& p) {
        std::ifstream f(p);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    fs::path ordner_;
    mode_t alte_maske_ = 022;
};

TEST_F(ProtokollDatei, CreatedForItsOwnerAndGroupOnly) {
    Protokoll p;
    ASSERT_TRUE(p.oeffnen(ordner_ / "zugriffe.log"));
    p.schreiben("eins\n");
    EXPECT_EQ(inhalt(ordner_ / "zugriffe.log"), "eins\n");
    EXPECT_EQ(fs::status(ordner_ / "zugriffe.log").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(ProtokollDatei, NeverWritesThroughALinkOrIntoAnotherFile) {
    const fs::path opfer = ordner_ / "opfer";
    std::ofstream(opfer) << "unberuehrt\n";
    fs::create_symlink(opfer, ordner_ / "weich.log");
    fs::create_hard_link(opfer, ordner_ / "hart.log");
    ::mkfifo((ordner_ / "rohr.log").c_str(), 0600);
    for (const char* name : {"weich.log", "hart.log", "rohr.log"}) {
        Protokoll p;
        EXPECT_FALSE(p.oeffnen(ordner_ / name)) << name;
        EXPECT_FALSE(p.an()) << name;
    }
    EXPECT_EQ(inhalt(opfer), "unberuehrt\n");
}

// As logrotate does it: the file is moved away, the service told to open its log afresh.
TEST_F(ProtokollDatei, OpenedAfreshAfterRotationButNeverOntoALink) {
    const fs::path log = ordner_ / "zugriffe.log";
    Protokoll p;
    ASSERT_TRUE(p.oeffnen(log));
    p.schreiben("vorher\n");
    fs::rename(log, ordner_ / "zugriffe.log.1");
    ASSERT_TRUE(p.neu_oeffnen());
    p.schreiben("nachher\n");
    EXPECT_EQ(inhalt(ordner_ / "zugriffe.log.1"), "vorher\n");
    EXPECT_EQ(inhalt(log), "nachher\n");

    const fs::path opfer = ordner_ / "opfer";
    std::ofstream(opfer) << "unberuehrt\n";
    fs::rename(log, ordner_ / "zugriffe.log.2");
    fs::create_symlink(opfer, log);
    errno = 0;
    EXPECT_FALSE(p.neu_oeffnen());
    EXPECT_EQ(errno, ELOOP);
    p.schreiben("weiter\n");
    EXPECT_EQ(inhalt(opfer), "unberuehrt\n");
    EXPECT_EQ(inhalt(ordner_ / "zugriffe.log.2"), "nachher\nweiter\n");
}

TEST(Protokollzeile, CommonLogFormatWithTheRequestLineMadeSafe) {
    ASSERT_TRUE(zone_waehlen("Asia/Kathmandu"));
    const Sekunde s{std::chrono::seconds{1796643909}};
    EXPECT_EQ(Protokoll::zeile("192.0.2.1", "GET /\x9b\" HTTP/1.1", 200, kTextLaenge, s),
              "192.0.2.1 - - [07/Dec/2026:17:30:09 +0545] \"GET /\\x9B\\x22 HTTP/1.1\" 200 19\n");
    EXPECT_EQ(Protokoll::zeile("2001:db8::1", "-", 431, 0, s),
              "2001:db8::1 - - [07/Dec/2026:17:30:09 +0545] \"-\" 431 -\n");
}

}  // namespace
}  // namespace zeitdienst
