// The GTK window behind frm_Zeit's window system, from the module libdadaviru_gtk.so, which only
// this loads: the timers and the loop stay GLib's.
// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include "app/posix/fenster_glib.h"
#include "app/posix/fenster_gtk.h"

namespace dadaviru {

class Fenstersystem_Gtk final : public Fenstersystem_Glib {
public:
    Fenstersystem_Gtk(dadaviru_gtk_oeffnen_t oeffnen, dadaviru_gtk_zeigen_t zeigen, const char** symbol_xpm);
    explicit operator bool() const { return fenster_ != nullptr; }
    void Zeigen() override;

    // The window system with the GTK window when the environment names a display that can be opened
    // and the module loads; nothing otherwise. The module stays loaded for the life of the process.
    static std::unique_ptr<Fenstersystem_Glib> Oeffnen(const char** symbol_xpm);

private:
    static void schliessen(void* selbst);
    dadaviru_gtk_fenster* fenster_;
    dadaviru_gtk_zeigen_t zeigen_;
};

}  // namespace dadaviru
