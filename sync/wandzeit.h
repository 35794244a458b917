// A reading of the local wall clock, field by field, and the two rules by which a clock write
// changes it. Each platform turns its own clock reading into this and back.
// SPDX-License-Identifier: MIT
#pragma once

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

// The time of day replaced, the fraction starting again from 0; the date too, when one is given.
inline Wandzeit Uhrzeit_ersetzt(Wandzeit jetzt, const Uhrzeit& zeit, const std::optional<Datum>& datum) {
    if (datum) jetzt.datum = *datum;
    jetzt.zeit = zeit;
    jetzt.nanosekunden = 0;
    return jetzt;
}

}  // namespace dadaviru
