// The bytes of a loop's answers, made once per second and form.
// SPDX-License-Identifier: MIT
#include "textvorrat.h"

namespace zeitdienst {

// A few dozen forms at most (GET or HEAD, HTTP/1.0 or 1.1, kept or closed, and the few errors): a
// plain search over them costs less than a hash of the answer would.
const std::string& Textvorrat::text(const Antwort& a, Sekunde text, Sekunde datum) {
    for (Text& t : texte_) {
        if (t.antwort != a) continue;
        if (t.text != text || t.datum != datum) {
            t.bytes = antworttext(a, text, datum);
            t.text = text;
            t.datum = datum;
        }
        return t.bytes;
    }
    texte_.push_back({a, text, datum, antworttext(a, text, datum)});
    return texte_.back().bytes;
}

}  // namespace zeitdienst
