// Raises, lowers and drops CAP_SYS_TIME through libcap.
// SPDX-License-Identifier: MIT
#include "zeitrecht.h"

namespace dadaviru::posix {

namespace {

const cap_value_t zeit[] = {CAP_SYS_TIME};

bool hat(const Cap& rechte, cap_flag_t menge) {
    cap_flag_value_t wert = CAP_CLEAR;
    return cap_get_flag(rechte.get(), CAP_SYS_TIME, menge, &wert) == 0 && wert == CAP_SET;
}

}  // namespace

Cap Prozessrechte_Libcap::Lesen() { return Cap(cap_get_proc()); }

bool Prozessrechte_Libcap::Setzen(const Cap& rechte) { return cap_set_proc(rechte.get()) == 0; }

bool Zeitrecht::aendern(const cap_flag_t* mengen, int anzahl, cap_flag_value_t wert) {
    const Cap rechte = rechte_.Lesen();
    if (!rechte) return false;
    for (int i = 0; i < anzahl; ++i)
        if (cap_set_flag(rechte.get(), mengen[i], 1, zeit, wert) != 0) return false;
    return rechte_.Setzen(rechte);
}

bool Zeitrecht::Heben() {
    const Cap rechte = rechte_.Lesen();
    if (!rechte || !hat(rechte, CAP_PERMITTED)) return false;
    const cap_flag_t wirksam[] = {CAP_EFFECTIVE};
    return aendern(wirksam, 1, CAP_SET);
}

void Zeitrecht::Senken() {
    const cap_flag_t wirksam[] = {CAP_EFFECTIVE};
    aendern(wirksam, 1, CAP_CLEAR);
}

void Zeitrecht::Ablegen() {
    const Cap rechte = rechte_.Lesen();
    if (!rechte || !(hat(rechte, CAP_PERMITTED) || hat(rechte, CAP_EFFECTIVE) || hat(rechte, CAP_INHERITABLE))) return;
    const cap_flag_t alle[] = {CAP_EFFECTIVE, CAP_PERMITTED, CAP_INHERITABLE};
    aendern(alle, 3, CAP_CLEAR);
}

}  // namespace dadaviru::posix
