// Starts either program on Linux: with a GTK window when the environment names a display that can
// be opened, windowless on the GLib main loop otherwise.
// SPDX-License-Identifier: MIT
#include <cstdio>
#include <memory>
#include <string_view>

#include "app/bauwerte.h"
#include "app/posix/fenster_glib.h"
#include "app/posix/fenstersystem_gtk.h"
#include "app/posix/inet_curl.h"
#include "app/programm.h"
#include "app/symbole/dadaviru.xpm"
#include "app/symbole/dadaviru_autostart.xpm"
#include "sync/posix/dateien_posix.h"
#include "sync/posix/schreiber.h"
#include "sync/posix/uhr_posix.h"
#include "sync/posix/umwandlung_posix.h"
#include "sync/uebersteuerung.h"
#include "sync/zeit_setzen.h"

namespace dadaviru {

namespace {

// A user who asks a program what it does must not have the clock set by asking, so these answer
// and end before anything else starts.
bool hat_geantwortet(Startmodus modus, int argc, char** argv) {
    const char* name = modus == Startmodus::beim_Laden ? "Dadaviru" : "Dadaviru_Autostart";
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--version") {
            std::printf("%s %s\n", name, Version);
            return true;
        }
        if (argument == "--help" || argument == "-h") {
            std::printf("Usage: %s [--help | --version]\n\n", name);
            std::printf("Sets this computer's clock from the network and ends by itself.");
            if (modus == Startmodus::nach_Wartezeit)
                std::printf(" Waits %d seconds first (for the autostart).", Wartezeit_ms / 1000);
            std::printf("\n");
            std::printf(
                "It asks these time services over HTTP, one after the other, and writes the local date\n"
                "and time of day from each answer:\n");
            for (const auto url : Quellen)
                std::printf("  %.*s\n", static_cast<int>(url.size()), url.data());
            std::printf(
                "  and the URL in the first line of %.*s in the current directory, when there is one.\n\n"
                "Failures are skipped silently. Setting the clock needs the right to do so; without it the\n"
                "program runs and ends with no effect. Other arguments are ignored.\n"
                "More in the manual page: man %s\n",
                static_cast<int>(Uebersteuerungsdatei.size()), Uebersteuerungsdatei.data(), name);
            return true;
        }
    }
    return false;
}

}  // namespace

int Programm_starten(Startmodus modus, int argc, char** argv) {
    if (hat_geantwortet(modus, argc, argv)) return 0;
    posix::Zone_der_Maschine();
    auto system = Fenstersystem_Gtk::Oeffnen(modus == Startmodus::beim_Laden ? dadaviru_xpm : dadaviru_autostart_xpm);
    if (!system) system = std::make_unique<Fenstersystem_Glib>();
    posix::Umwandlung_Posix umwandlung;
    posix::Uhr_Posix uhr(std::make_unique<posix::Schreiber_Timedated>(),
                         std::make_unique<posix::Schreiber_Uhrsteller>(Uhrsteller_Pfad, Uhrsteller_Umgebung));
    posix::Dateien_Posix dateien;
    Plattform plattform{umwandlung, uhr, dateien};
    Inet_Curl inet;
    frm_Zeit form(modus, inet, *system, plattform);
    system->verbinden(form);
    form.Laden();
    system->Schleife();
    return 0;
}

}  // namespace dadaviru
