// The bytes of the answers a loop sends in one second, made once per second and form: at the tick,
// every held client of the second is sent the same few texts.
// SPDX-License-Identifier: MIT
#pragma once

#include <deque>
#include <string>

#include "antwort.h"

namespace zeitdienst {

// One loop's own: it is used from the loop's thread only.
class Textvorrat {
public:
    // The bytes of `a` naming `text`, with the Date header `datum`; they stay until `a` is asked for
    // with other seconds.
    const std::string& text(const Antwort& a, Sekunde text, Sekunde datum);

private:
    struct Text {
        Antwort antwort;
        Sekunde text, datum;
        std::string bytes;
    };
    std::deque<Text> texte_;  // a deque, so a text stays where it is while others are added
};

}  // namespace zeitdienst
