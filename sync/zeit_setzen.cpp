// The synchronisation run: passes 0 to 2 ask the built-in services, pass 3 the one named in the
// override file; each answer is written to the clock, and the exit timer is armed at the end.
// SPDX-License-Identifier: MIT
#include "zeit_setzen.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "schutz.h"
#include "uebersteuerung.h"
#include "zeitantwort.h"

namespace dadaviru {

void Zeit_setzen(Inet_Dienst& inet, Timer_Dienst& timer_ende, Plattform& plattform) {
    for (std::int16_t durchgang = 0; durchgang <= 3; ++durchgang) {
        // A pass without a URL of its own, or without an answer of its own, writes nothing:
        // an older answer applied again would set the clock behind by the time since it arrived.
        std::optional<std::string> url;
        geschuetzt([&] {
            if (durchgang < 3)
                url = std::string(Quellen.at(static_cast<std::size_t>(durchgang)));
            else
                url = Uebersteuerung_lesen(plattform.dateien);
        });
        if (!url) continue;

        std::optional<std::string> antwort;
        Ankunft angekommen;
        geschuetzt([&] {
            antwort = inet.OpenURL(*url);
            angekommen = inet.Angekommen().value_or(std::chrono::steady_clock::now());
        });
        if (!antwort) continue;

        Antwort_anwenden(*antwort, plattform.umwandlung, plattform.uhr, angekommen);
    }
    geschuetzt([&] { plattform.uhr.Lauf_beenden(); });
    geschuetzt([&] { timer_ende.Interval(10); });
    geschuetzt([&] { timer_ende.Enabled(true); });
}

}  // namespace dadaviru
