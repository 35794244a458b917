// The time service's access log.
// SPDX-License-Identifier: MIT
#include "protokoll.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zeitdienst {

namespace {

// A pipe that polls writable takes this many bytes without blocking, and a write of at most this
// many arrives whole even when another process writes to the same pipe.
constexpr std::size_t kAmStueck = PIPE_BUF;
// How long the writer waits for the log before it looks whether it is to end; and, ending, how long
// it waits for a log that takes nothing before it gives up what is left.
constexpr int kWarteMs = 200;
constexpr std::size_t kAnfragezeileHoechstens = 960;  // four bytes each when escaped: one line stays below kAmStueck

// Hard links are refused too: one more name of /etc/shadow in a folder a user may write to is as
// bad as a symbolic link to it.
int oeffnen_sicher(const std::string& pfad, bool& neu) {
    constexpr int kArt = O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = ::open(pfad.c_str(), kArt | O_CREAT | O_EXCL, 0640);
    neu = fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = ::open(pfad.c_str(), kArt);
    if (fd < 0) return -1;
    struct stat st {};
    int fehler = 0;
    if (::fstat(fd, &st) != 0)
        fehler = errno;
    else if (!S_ISREG(st.st_mode))
        fehler = EINVAL;
    else if (st.st_nlink != 1)
        fehler = EMLINK;
    if (fehler == 0) return fd;
    ::close(fd);
    errno = fehler;
    return -1;
}

}  // namespace

Protokoll::~Protokoll() {
    if (faden_.joinable()) {
        {
            const std::lock_guard sperre(sperre_);
            ende_ = true;
        }
        geweckt_.notify_one();
        faden_.join();
    }
    if (eigen_) ::close(fd_);
}

void Protokoll::starten() {
    if (fd_ >= 0 && !faden_.joinable()) faden_ = std::thread([this] { schreiber(); });
}

bool Protokoll::oeffnen(const std::string& ziel) {
    if (ziel.empty()) return true;
    if (ziel == "-") {
        fd_ = STDOUT_FILENO;
        return true;
    }
    fd_ = oeffnen_sicher(ziel, neu_);
    if (fd_ < 0) return false;
    pfad_ = ziel;
    eigen_ = true;
    return true;
}

bool Protokoll::neu_oeffnen() {
    if (!eigen_) return true;
    bool gemacht = false;
    const int neu = oeffnen_sicher(pfad_, gemacht);
    if (neu < 0) return false;
    // The new file takes the old one's number, so a loop writing at this moment writes to the one or
    // the other, and never to a number that was closed and given to a socket meanwhile.
    const bool ok = ::dup3(neu, fd_, O_CLOEXEC) >= 0;
    const int fehler = errno;
    ::close(neu);
    errno = fehler;
    return ok;
}

void Protokoll::schreiben(std::string_view zeilen) {
    if (fd_ < 0 || zeilen.empty()) return;
    bool wecken = false;
    {
        const std::lock_guard sperre(sperre_);
        const std::size_t platz = schlange_hoechstens_ - std::min(schlange_.size(), schlange_hoechstens_);
        std::size_t n = zeilen.size();
        if (n > platz) {
            const std::size_t ende = platz == 0 ? std::string_view::npos : zeilen.rfind('\n', platz - 1);
            n = ende == std::string_view::npos ? 0 : ende + 1;
            verworfen_ +=
                static_cast<unsigned long>(std::count(zeilen.begin() + static_cast<long>(n), zeilen.end(), '\n'));
        }
        wecken = schlange_.empty() && n > 0;
        schlange_.append(zeilen.substr(0, n));
    }
    if (wecken) geweckt_.notify_one();
}

// The writer's thread: takes what has been queued and writes it, however long the log makes it wait.
// The count of dropped lines goes after the lines queued before the drop. Only new lines wake it, so
// a log that fails costs one try per line, and no spinning.
void Protokoll::schreiber() {
    std::string stueck;
    for (;;) {
        unsigned long verworfen = 0;
        {
            std::unique_lock sperre(sperre_);
            geweckt_.wait(sperre, [this] { return ende_ || !schlange_.empty(); });
            if (schlange_.empty()) return;
            stueck.clear();
            stueck.swap(schlange_);
            std::swap(verworfen, verworfen_);
        }
        const std::size_t zeilen_ende = stueck.size();
        if (verworfen > 0) stueck += "zeitdienst: " + std::to_string(verworfen) + " log lines dropped\n";
        const std::size_t weg = ausgeben(stueck);
        if (weg == stueck.size()) continue;
        // A line cut off counts as dropped; so does the count itself when it did not go out whole.
        const auto rest = std::string_view(stueck).substr(0, zeilen_ende).substr(std::min(weg, zeilen_ende));
        const std::lock_guard sperre(sperre_);
        verworfen_ += verworfen + static_cast<unsigned long>(std::count(rest.begin(), rest.end(), '\n'));
        if (ende_) return;
    }
}

// How much of `text` went out: all of it, unless the log fails, or, at the end, takes nothing for a
// while. A short write goes on with the rest, so no line loses its end.
std::size_t Protokoll::ausgeben(std::string_view text) {
    std::size_t weg = 0;
    while (weg < text.size()) {
        pollfd p{fd_, POLLOUT, 0};
        const int bereit = ::poll(&p, 1, kWarteMs);
        if (bereit == 0 && ende_) break;
        if (bereit < 0 && errno != EINTR) break;
        if (bereit <= 0) continue;
        std::size_t n = text.size() - weg;
        if (n > kAmStueck) {
            const std::size_t ende = text.rfind('\n', weg + kAmStueck - 1);
            n = ende == std::string_view::npos || ende < weg ? kAmStueck : ende + 1 - weg;
        }
        const ssize_t geschrieben = ::write(fd_, text.data() + weg, n);
        if (geschrieben < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) break;
        if (geschrieben > 0) weg += static_cast<std::size_t>(geschrieben);
    }
    return weg;
}

std::string sicher(std::string_view roh) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(roh.size() + 16);
    for (const char c : roh.substr(0, kAnfragezeileHoechstens)) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7f && c != '"' && c != '\\') {
            s += c;
        } else {
            s += "\\x";
            s += hex[b >> 4];
            s += hex[b & 0xf];
        }
    }
    return s;
}

std::string Protokoll::anfragezeile(std::string_view methode, std::string_view ziel, unsigned version) {
    std::string z;
    z.reserve(methode.size() + ziel.size() + 10);
    z += methode;
    z += ' ';
    z += ziel;
    z += " HTTP/";
    z += std::to_string(version / 10);
    z += '.';
    z += std::to_string(version % 10);
    return z;
}

std::string Protokoll::zeile(std::string_view wer, std::string_view anfragezeile, int status, std::size_t laenge,
                             Sekunde s) {
    std::string z;
    z.reserve(wer.size() + anfragezeile.size() + 64);
    z += wer;
    z += " - - [";
    z += clf_zeit(s);
    z += "] \"";
    z += sicher(anfragezeile);
    z += "\" ";
    z += std::to_string(status);
    z += ' ';
    z += laenge == 0 ? std::string("-") : std::to_string(laenge);
    z += '\n';
    return z;
}

}  // namespace zeitdienst
