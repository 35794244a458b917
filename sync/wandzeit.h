// A reading of the local wall clock, field by field, and the two rules by which a clock write
// changes it. Each platform turns its own clock reading into this and back.
// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <chrono>
#include <optional>

#include "plattform.h"

namespace dadaviru {

struct Wandzeit {
    Datum datum;
    Uhrzeit zeit;
    long nanosekunden = 0;
};

// The date replaced; the time of day and the fraction of a second are kept.
inline Wandzeit Datum_ersetzt(Wandzeit jetzt, const Datum& datum) {
    jetzt.datum = datum;
    return jetzt;
}

// How long ago an answer arrived, read as close to the clock reading it goes with as can be.
inline std::chrono::nanoseconds Seit(Ankunft angekommen) { return std::chrono::steady_clock::now() - angekommen; }

// The time of day replaced, and the date too when one is given. A text names the second in which
// its answer left, so the second began about when the answer arrived: the fraction is the time
// since then. It stays below a whole second, so the second written is always the text's own.
inline Wandzeit Uhrzeit_ersetzt(Wandzeit jetzt, const Uhrzeit& zeit, const std::optional<Datum>& datum,
                                std::chrono::nanoseconds seit_ankunft) {
    if (datum) jetzt.datum = *datum;
    jetzt.zeit = zeit;
    jetzt.nanosekunden =
        static_cast<long>(std::clamp<std::chrono::nanoseconds::rep>(seit_ankunft.count(), 0, 999'999'999));
    return jetzt;
}

}  // namespace dadaviru
