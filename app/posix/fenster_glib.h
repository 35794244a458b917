// frm_Zeit's timers on the GLib main loop, with no window: the program as it runs without a display,
// and the base of the GTK window, which adds the window itself.
// SPDX-License-Identifier: MIT
#pragma once

#include <glib.h>

#include <map>

#include "app/fenster.h"
#include "app/frm_zeit.h"

namespace dadaviru {

class Fenstersystem_Glib : public Fenstersystem {
public:
    Fenstersystem_Glib() = default;
    ~Fenstersystem_Glib() override;
    Fenstersystem_Glib(const Fenstersystem_Glib&) = delete;
    Fenstersystem_Glib& operator=(const Fenstersystem_Glib&) = delete;

    // The form whose handlers the native events call.
    void verbinden(frm_Zeit& form) { form_ = &form; }
    // Runs the main loop; the program ends from a handler, never by returning from here.
    void Schleife();

    void Timer_starten(Timer_Name timer, int millisekunden) override;
    void Timer_anhalten(Timer_Name timer) override;
    void Zeigen() override {}
    void Beenden() override;

protected:
    frm_Zeit* form_ = nullptr;

private:
    static gboolean tick_start(gpointer selbst);
    static gboolean tick_ende(gpointer selbst);

    std::map<Timer_Name, guint> timer_;
};

}  // namespace dadaviru
