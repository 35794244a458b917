// The clock, conversions and file lookup of a POSIX build.
#include "dateien_posix.h"
#include "schreiber.h"
#include "uhr_posix.h"
#include "umwandlung_posix.h"

namespace dadaviru {

Plattform& System() {
    static posix::Umwandlung_Posix umwandlung;
    static posix::Uhr_Posix uhr(std::make_unique<posix::Schreiber_Timedated>(),
                                std::make_unique<posix::Schreiber_Direkt>());
    static posix::Dateien_Posix dateien;
    static Plattform plattform{umwandlung, uhr, dateien};
    return plattform;
}

}  // namespace dadaviru
