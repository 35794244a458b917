// Giving up root, for good: the supplementary groups, then the group, then the user, and a check
// that none of it can be taken back; then any capability left, as ambient ones are.
// SPDX-License-Identifier: MIT
#include "rechte.h"

#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace zeitdienst {

namespace {

// glibc has no wrapper for capget and capset, and libcap is not worth a dependency for two calls.
bool faehigkeiten_lesen(__user_cap_data_struct (&daten)[_LINUX_CAPABILITY_U32S_3]) {
    __user_cap_header_struct kopf{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capget, &kopf, daten) == 0;
}

// The ambient ones too: the kernel keeps none that is not both permitted and inheritable.
bool keine_faehigkeiten() {
    __user_cap_data_struct daten[_LINUX_CAPABILITY_U32S_3]{};
    if (!faehigkeiten_lesen(daten)) return false;
    for (const auto& d : daten)
        if (d.effective != 0 || d.permitted != 0 || d.inheritable != 0) return false;
    return true;
}

// Nothing is done when nothing is held: under systemd's filter of privileged calls, capset fails.
std::string faehigkeiten_abgeben() {
    if (keine_faehigkeiten()) return {};
    __user_cap_header_struct kopf{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct keine[_LINUX_CAPABILITY_U32S_3]{};
    if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 || ::syscall(SYS_capset, &kopf, keine) != 0)
        return std::string("cannot give up the capabilities: ") + std::strerror(errno);
    if (!keine_faehigkeiten()) return "still holds capabilities after giving them up";
    return {};
}

std::string root_abgeben(const std::string& benutzer, int datei) {
    passwd eintrag{};
    passwd* gefunden = nullptr;
    std::vector<char> puffer(16384);
    const int fehler = ::getpwnam_r(benutzer.c_str(), &eintrag, puffer.data(), puffer.size(), &gefunden);
    if (gefunden == nullptr)
        return "no user " + benutzer + (fehler != 0 ? std::string(": ") + std::strerror(fehler) : std::string());
    if (eintrag.pw_uid == 0) return "will not serve as " + benutzer + ", who is root";
    if (datei >= 0 && ::fchown(datei, eintrag.pw_uid, eintrag.pw_gid) != 0)
        return "cannot give the log to " + benutzer + ": " + std::strerror(errno);
    if (::setgroups(0, nullptr) != 0 || ::setgid(eintrag.pw_gid) != 0 || ::setuid(eintrag.pw_uid) != 0)
        return "cannot become " + benutzer + ": " + std::strerror(errno);
    if (::setuid(0) == 0 || ::getuid() != eintrag.pw_uid || ::geteuid() != eintrag.pw_uid ||
        ::getegid() != eintrag.pw_gid)
        return "could still become root after becoming " + benutzer;
    return {};
}

}  // namespace

std::string rechte_abgeben(const std::string& benutzer, int datei) {
    if (::geteuid() == 0)
        if (std::string fehler = root_abgeben(benutzer, datei); !fehler.empty()) return fehler;
    return faehigkeiten_abgeben();
}

}  // namespace zeitdienst
