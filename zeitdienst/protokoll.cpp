// The time service's access log.
// SPDX-License-Identifier: MIT
#include "protokoll.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace zeitdienst {

namespace {

// Several loops write to the log at once; each write of at most this many bytes to a pipe (the
// journal's standard output) arrives whole, and so each line does.
constexpr std::size_t kAmStueck = PIPE_BUF;
constexpr std::size_t kAnfragezeileHoechstens = 960;  // four bytes each when escaped: one line stays below kAmStueck

// Hard links are refused too: one more name of /etc/shadow in a folder a user may write to is as
// bad as a symbolic link to it.
int oeffnen_sicher(const std::string& pfad) {
    const int fd =
        ::open(pfad.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0640);
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
    if (eigen_) ::close(fd_);
}

bool Protokoll::oeffnen(const std::string& ziel) {
    if (ziel.empty()) return true;
    if (ziel == "-") {
        fd_ = STDOUT_FILENO;
        return true;
    }
    fd_ = oeffnen_sicher(ziel);
    if (fd_ < 0) return false;
    pfad_ = ziel;
    eigen_ = true;
    return true;
}

bool Protokoll::neu_oeffnen() {
    if (!eigen_) return true;
    const int neu = oeffnen_sicher(pfad_);
    if (neu < 0) return false;
    // The new file takes the old one's number, so a loop writing at this moment writes to the one or
    // the other, and never to a number that was closed and given to a socket meanwhile.
    const bool ok = ::dup3(neu, fd_, O_CLOEXEC) >= 0;
    const int fehler = errno;
    ::close(neu);
    errno = fehler;
    return ok;
}

void Protokoll::schreiben(std::string_view zeilen) const {
    if (fd_ < 0) return;
    while (!zeilen.empty()) {
        std::size_t n = zeilen.size();
        if (n > kAmStueck) {
            const std::size_t ende = zeilen.rfind('\n', kAmStueck - 1);
            n = ende == std::string_view::npos ? kAmStueck : ende + 1;
        }
        // A log that cannot be written to must not stop the answers.
        if (::write(fd_, zeilen.data(), n) < 0 && errno != EINTR) return;
        zeilen.remove_prefix(n);
    }
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
