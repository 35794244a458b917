// frm_Zeit as a GTK 3 window. Built as a module of its own, which the programs load only when
// there is a display, so a run without one never pays for loading GTK.
#pragma once

#include <gtk/gtk.h>

#include "app/posix/fenster_glib.h"

namespace dadaviru {

class Fenstersystem_Gtk final : public Fenstersystem_Glib {
public:
    explicit Fenstersystem_Gtk(const char** symbol_xpm);
    void Zeigen() override;

private:
    static gboolean schliessen_angefragt(GtkWidget*, GdkEvent*, gpointer selbst);

    GtkWidget* fenster_ = nullptr;  // owned by GTK; it lives until the process ends
};

}  // namespace dadaviru

// The module's one entry point: the window, or nothing when no display can be opened.
extern "C" dadaviru::Fenstersystem_Glib* dadaviru_gtk_oeffnen(const char** symbol_xpm);
