// Starts either program on Linux: with a GTK window when the environment names a display that can
// be opened, windowless on the GLib main loop otherwise.
// SPDX-License-Identifier: MIT
#include <dlfcn.h>
#include <glib.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/posix/fenster_glib.h"
#include "app/posix/fenster_gtk.h"
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

// Where the helper uhrsteller lies and what of the environment it gets: each program links the
// values it was built with (uhrsteller_ort.cpp).
extern const char* const Uhrsteller_Pfad;
extern const std::vector<std::string> Uhrsteller_Umgebung;

namespace {

// Tried by absolute path along the program's own library search path (its run path first), so the
// module is found whoever carries out the dlopen: a sanitizer's runtime, for one, intercepts it.
void* modul_laden() {
    void* programm = dlopen(nullptr, RTLD_NOW);
    Dl_serinfo groesse{};
    if (!programm || dlinfo(programm, RTLD_DI_SERINFOSIZE, &groesse) != 0) return nullptr;
    std::vector<Dl_serinfo> speicher(groesse.dls_size / sizeof(Dl_serinfo) + 1);
    Dl_serinfo* info = speicher.data();
    *info = groesse;
    if (dlinfo(programm, RTLD_DI_SERINFO, info) != 0) return nullptr;
    for (unsigned i = 0; i < info->dls_cnt; ++i) {
        const std::string pfad = std::string(info->dls_serpath[i].dls_name) + "/libdadaviru_gtk.so";
        if (void* modul = dlopen(pfad.c_str(), RTLD_NOW | RTLD_LOCAL)) return modul;
    }
    return nullptr;
}

// The module's window behind frm_Zeit's window system; the timers and the loop stay GLib's.
class Fenstersystem_Gtk final : public Fenstersystem_Glib {
public:
    Fenstersystem_Gtk(dadaviru_gtk_oeffnen_t oeffnen, dadaviru_gtk_zeigen_t zeigen, const char** symbol_xpm)
        : fenster_(oeffnen(symbol_xpm, &schliessen, this)), zeigen_(zeigen) {}
    explicit operator bool() const { return fenster_ != nullptr; }
    void Zeigen() override { zeigen_(fenster_); }

private:
    static void schliessen(void* selbst) {
        auto& system = *static_cast<Fenstersystem_Gtk*>(selbst);
        if (system.form_) system.form_->Schliessen();
    }
    dadaviru_gtk_fenster* fenster_;
    dadaviru_gtk_zeigen_t zeigen_;
};

// GTK and its many libraries are loaded only here, so a run without a display starts fast and small.
// The module stays loaded for the life of the process.
std::unique_ptr<Fenstersystem_Glib> fenster_oeffnen(const char** symbol_xpm) {
    if (!g_getenv("DISPLAY") && !g_getenv("WAYLAND_DISPLAY")) return nullptr;
    void* modul = modul_laden();
    if (!modul) return nullptr;
    const auto oeffnen = reinterpret_cast<dadaviru_gtk_oeffnen_t>(dlsym(modul, "dadaviru_gtk_oeffnen"));
    const auto zeigen = reinterpret_cast<dadaviru_gtk_zeigen_t>(dlsym(modul, "dadaviru_gtk_zeigen"));
    if (!oeffnen || !zeigen) return nullptr;
    auto system = std::make_unique<Fenstersystem_Gtk>(oeffnen, zeigen, symbol_xpm);
    if (!*system) return nullptr;
    return system;
}

// A user who asks a program what it does must not have the clock set by asking, so these answer
// and end before anything else starts.
bool hat_geantwortet(Startmodus modus, int argc, char** argv) {
    const char* name = modus == Startmodus::beim_Laden ? "Dadaviru" : "Dadaviru_Autostart";
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--version") {
            std::printf("%s %s\n", name, DADAVIRU_VERSION);
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
    auto system = fenster_oeffnen(modus == Startmodus::beim_Laden ? dadaviru_xpm : dadaviru_autostart_xpm);
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
