// frm_Zeit on GTK 3 and the GLib main loop; without a display the same program runs windowless.
#pragma once

#include <gtk/gtk.h>

#include <map>

#include "app/fenster.h"
#include "app/frm_zeit.h"

namespace dadaviru {

class Fenstersystem_Gtk final : public Fenstersystem {
public:
    // With `anzeige` false there is no display: timers still run, and there is nothing to show.
    Fenstersystem_Gtk(bool anzeige, const char** symbol_xpm);
    ~Fenstersystem_Gtk() override;
    Fenstersystem_Gtk(const Fenstersystem_Gtk&) = delete;
    Fenstersystem_Gtk& operator=(const Fenstersystem_Gtk&) = delete;

    // The form whose handlers the native events call.
    void verbinden(frm_Zeit& form) { form_ = &form; }
    // Runs the main loop; the program ends from a handler, never by returning from here.
    void Schleife();

    void Timer_starten(Timer_Name timer, int millisekunden) override;
    void Timer_anhalten(Timer_Name timer) override;
    void Zeigen() override;
    void Beenden() override;

private:
    static gboolean tick_start(gpointer selbst);
    static gboolean tick_ende(gpointer selbst);
    static gboolean schliessen_angefragt(GtkWidget*, GdkEvent*, gpointer selbst);

    GtkWidget* fenster_ = nullptr;  // owned by GTK once created; it lives until the process ends
    frm_Zeit* form_ = nullptr;
    std::map<Timer_Name, guint> timer_;
};

}  // namespace dadaviru
