// Giving up root, for good: the supplementary groups, then the group, then the user, and a check
// that none of it can be taken back.
// SPDX-License-Identifier: MIT
#include "rechte.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace zeitdienst {

std::string rechte_abgeben(const std::string& benutzer) {
    if (::geteuid() != 0) return {};
    passwd eintrag{};
    passwd* gefunden = nullptr;
    std::vector<char> puffer(16384);
    const int fehler = ::getpwnam_r(benutzer.c_str(), &eintrag, puffer.data(), puffer.size(), &gefunden);
    if (gefunden == nullptr)
        return "no user " + benutzer + (fehler != 0 ? std::string(": ") + std::strerror(fehler) : std::string());
    if (eintrag.pw_uid == 0) return "will not serve as " + benutzer + ", who is root";
    if (::setgroups(0, nullptr) != 0 || ::setgid(eintrag.pw_gid) != 0 || ::setuid(eintrag.pw_uid) != 0)
        return "cannot become " + benutzer + ": " + std::strerror(errno);
    if (::setuid(0) == 0 || ::getuid() != eintrag.pw_uid || ::geteuid() != eintrag.pw_uid ||
        ::getegid() != eintrag.pw_gid)
        return "could still become root after becoming " + benutzer;
    return {};
}

}  // namespace zeitdienst
