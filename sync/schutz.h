// Runs one step of the synchronisation run so that its failure stays inside that step.
// SPDX-License-Identifier: MIT
#pragma once

#include <utility>

namespace dadaviru {

// A failing step is abandoned and the run goes on with the next one; nothing is reported.
template <class Schritt>
void geschuetzt(Schritt&& schritt) noexcept {
    try {
        std::forward<Schritt>(schritt)();
    } catch (...) {
    }
}

}  // namespace dadaviru
