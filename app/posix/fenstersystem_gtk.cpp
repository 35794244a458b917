// The GTK window behind frm_Zeit's window system: loading the module and opening its window.
// SPDX-License-Identifier: MIT
#include "app/posix/fenstersystem_gtk.h"

#include <dlfcn.h>
#include <glib.h>

#include <string>
#include <vector>

namespace dadaviru {

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

}  // namespace

Fenstersystem_Gtk::Fenstersystem_Gtk(dadaviru_gtk_oeffnen_t oeffnen, dadaviru_gtk_zeigen_t zeigen,
                                     const char** symbol_xpm)
    : fenster_(oeffnen(symbol_xpm, &schliessen, this)), zeigen_(zeigen) {}

void Fenstersystem_Gtk::Zeigen() { zeigen_(fenster_); }

void Fenstersystem_Gtk::schliessen(void* selbst) {
    auto& system = *static_cast<Fenstersystem_Gtk*>(selbst);
    if (system.form_) system.form_->Schliessen();
}

// GTK and its many libraries are loaded only here, so a run without a display starts fast and small.
std::unique_ptr<Fenstersystem_Glib> Fenstersystem_Gtk::Oeffnen(const char** symbol_xpm) {
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

}  // namespace dadaviru
