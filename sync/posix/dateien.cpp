// Looks up and reads the override file in the current directory with POSIX calls.
// SPDX-License-Identifier: MIT
#include "dateien_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace dadaviru::posix {

namespace {

struct Verzeichnis_schliessen {
    void operator()(DIR* d) const { closedir(d); }
};

class Dateideskriptor {
public:
    explicit Dateideskriptor(int fd) : fd_(fd) {}
    ~Dateideskriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Dateideskriptor(const Dateideskriptor&) = delete;
    Dateideskriptor& operator=(const Dateideskriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

char klein(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool gleich_ohne_gross_klein(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (klein(a[i]) != klein(b[i])) return false;
    return true;
}

bool ist_regulaere_datei(const char* name) {
    struct stat st {};
    return stat(name, &st) == 0 && S_ISREG(st.st_mode);  // stat follows a symlink to its target
}

}  // namespace

// Linux files carry no hidden or system attribute, so no file counts as hidden here.
// Names are case-sensitive, so several spellings may stand side by side: the exact one wins,
// otherwise the first in byte order, so the choice does not depend on the directory's order.
Dateifund Dateien_Posix::Datei_suchen(std::string_view name) {
    std::unique_ptr<DIR, Verzeichnis_schliessen> verzeichnis(opendir("."));
    if (!verzeichnis) return {Suchergebnis::fehlgeschlagen, {}};

    Dateifund fund;
    for (;;) {
        errno = 0;
        const dirent* eintrag = readdir(verzeichnis.get());
        if (!eintrag) {
            if (errno != 0) return {Suchergebnis::fehlgeschlagen, {}};
            break;
        }
        const std::string_view kandidat = eintrag->d_name;
        if (!gleich_ohne_gross_klein(kandidat, name) || !ist_regulaere_datei(eintrag->d_name)) continue;
        if (fund.ergebnis == Suchergebnis::gefunden && fund.name == name) continue;
        if (fund.ergebnis != Suchergebnis::gefunden || kandidat == name || kandidat < fund.name)
            fund = {Suchergebnis::gefunden, std::string(kandidat)};
    }
    return fund;
}

std::optional<std::string> Dateien_Posix::Datei_lesen(const std::string& name, std::size_t hoechstens) {
    // O_NONBLOCK: a FIFO of that name must not hold the run; it is refused below anyway.
    const Dateideskriptor fd(open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) return std::nullopt;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;

    std::string inhalt(hoechstens, '\0');
    std::size_t gelesen = 0;
    while (gelesen < hoechstens) {
        const ssize_t n = read(fd.get(), inhalt.data() + gelesen, hoechstens - gelesen);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        gelesen += static_cast<std::size_t>(n);
    }
    inhalt.resize(gelesen);
    return inhalt;
}

}  // namespace dadaviru::posix
