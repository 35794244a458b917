// The helper uhrsteller's run: the instant and the caller's membership checked, every capability but
// CAP_SYS_TIME dropped and that one raised, then the one clock write, carried forward by the time
// since its reading.
// SPDX-License-Identifier: MIT
#include "uhrsteller.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "../sync/uhrbereich.h"

namespace dadaviru::posix {

namespace {

std::int64_t ns(const timespec& t) { return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; }

bool hat(const Cap& rechte, cap_flag_t menge) {
    cap_flag_value_t wert = CAP_CLEAR;
    return cap_get_flag(rechte.get(), CAP_SYS_TIME, menge, &wert) == 0 && wert == CAP_SET;
}

// CAP_SYS_TIME permitted and effective, and nothing else in any set; the ambient set empties with
// the inheritable one.
Cap nur_das_zeitrecht() {
    Cap rechte(cap_init());
    const cap_value_t zeit[] = {CAP_SYS_TIME};
    if (!rechte || cap_set_flag(rechte.get(), CAP_PERMITTED, 1, zeit, CAP_SET) != 0 ||
        cap_set_flag(rechte.get(), CAP_EFFECTIVE, 1, zeit, CAP_SET) != 0)
        return nullptr;
    return rechte;
}

// Calls a getpwuid_r-like LESEN with ever larger buffers, up to a bound; false when nothing is found.
template <typename Lesen>
bool mit_puffer(std::vector<char>& puffer, Lesen lesen) {
    for (std::size_t groesse = 4096; groesse <= (std::size_t{1} << 20); groesse *= 4) {
        puffer.resize(groesse);
        const int fehler = lesen(puffer.data(), puffer.size());
        if (fehler != ERANGE) return fehler == 0;
    }
    return false;
}

}  // namespace

std::optional<Gruppenbuch::Nutzer> Gruppenbuch_Nss::Nutzer_mit(uid_t uid) {
    passwd eintrag{};
    passwd* gefunden = nullptr;
    std::vector<char> puffer;
    if (!mit_puffer(puffer, [&](char* p, std::size_t n) { return getpwuid_r(uid, &eintrag, p, n, &gefunden); }) ||
        !gefunden)
        return std::nullopt;
    return Nutzer{gefunden->pw_name, gefunden->pw_gid};
}

std::optional<gid_t> Gruppenbuch_Nss::Gruppe_namens(const char* name) {
    group eintrag{};
    group* gefunden = nullptr;
    std::vector<char> puffer;
    if (!mit_puffer(puffer, [&](char* p, std::size_t n) { return getgrnam_r(name, &eintrag, p, n, &gefunden); }) ||
        !gefunden)
        return std::nullopt;
    return gefunden->gr_gid;
}

std::optional<std::vector<gid_t>> Gruppenbuch_Nss::Gruppen_von(const Nutzer& nutzer) {
    std::vector<gid_t> gruppen(64);
    // getgrouplist says how many there are when they do not fit; they may grow between two calls.
    for (int versuch = 0; versuch < 4; ++versuch) {
        int anzahl = static_cast<int>(gruppen.size());
        if (getgrouplist(nutzer.name.c_str(), nutzer.gruppe, gruppen.data(), &anzahl) >= 0) {
            gruppen.resize(static_cast<std::size_t>(anzahl));
            return gruppen;
        }
        if (anzahl <= static_cast<int>(gruppen.size()) || anzahl > 65536) return std::nullopt;
        gruppen.resize(static_cast<std::size_t>(anzahl));
    }
    return std::nullopt;
}

bool Darf_stellen(uid_t wer, Gruppenbuch& buch) {
    if (wer == 0) return true;
    const auto nutzer = buch.Nutzer_mit(wer);
    const auto gruppe = buch.Gruppe_namens(Uhrsteller_Gruppe);
    if (!nutzer || !gruppe) return false;
    if (nutzer->gruppe == *gruppe) return true;
    const auto gruppen = buch.Gruppen_von(*nutzer);
    return gruppen && std::find(gruppen->begin(), gruppen->end(), *gruppe) != gruppen->end();
}

Cap Prozessrechte_Libcap::Lesen() { return Cap(cap_get_proc()); }

bool Prozessrechte_Libcap::Setzen(const Cap& rechte) { return cap_set_proc(rechte.get()) == 0; }

int Uhrsteller(int argc, const char* const* argv, const Aufrufer& aufrufer, Prozessrechte& rechte,
               const Uhrzugriff& uhr) {
    if (argc != 3) return ungueltig;
    const auto zeitpunkt = Zeitpunkt_aus_text(argv[1]);
    const auto bezug = Zeitpunkt_aus_text(argv[2]);
    if (!zeitpunkt || !bezug || ns(uhr.monoton()) < ns(*bezug)) return ungueltig;
    // Only the group may run the helper, but the kernel decides that by the groups the caller's
    // process took up at login, which outlive a removal from the group.
    if (!Darf_stellen(aufrufer.wer, aufrufer.buch)) return kein_mitglied;

    const Cap vorher = rechte.Lesen();
    if (!vorher) return rechte_fehler;
    if (!hat(vorher, CAP_PERMITTED)) return ohne_recht;
    // Run by root, the helper would hold every capability: all but the one it needs go first.
    // It writes only when the sets read back are exactly what was asked for.
    const Cap soll = nur_das_zeitrecht();
    if (!soll || !rechte.Setzen(soll)) return rechte_fehler;
    const Cap nachher = rechte.Lesen();
    if (!nachher || cap_compare(nachher.get(), soll.get()) != 0) return rechte_fehler;

    const std::int64_t neu = ns(*zeitpunkt) + (ns(uhr.monoton()) - ns(*bezug));
    if (!Uhr_nimmt(neu / 1'000'000'000)) return ungueltig;
    timespec jetzt{};
    jetzt.tv_sec = static_cast<std::time_t>(neu / 1'000'000'000);
    jetzt.tv_nsec = static_cast<long>(neu % 1'000'000'000);
    return uhr.stellen(jetzt) ? gesetzt : verweigert;
}

}  // namespace dadaviru::posix
