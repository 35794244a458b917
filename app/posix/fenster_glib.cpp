// frm_Zeit's timers on the GLib main loop, and the immediate end of the process.
// SPDX-License-Identifier: MIT
#include "app/posix/fenster_glib.h"

#include <unistd.h>

namespace dadaviru {

Fenstersystem_Glib::~Fenstersystem_Glib() {
    for (const auto& [name, quelle] : timer_)
        g_source_remove(quelle);
}

void Fenstersystem_Glib::Schleife() {
    GMainLoop* schleife = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(schleife);
    g_main_loop_unref(schleife);
}

void Fenstersystem_Glib::Timer_starten(Timer_Name timer, int millisekunden) {
    Timer_anhalten(timer);
    timer_[timer] = g_timeout_add(static_cast<guint>(millisekunden),
                                  timer == Timer_Name::Timer_start ? tick_start : tick_ende, this);
}

void Fenstersystem_Glib::Timer_anhalten(Timer_Name timer) {
    if (const auto it = timer_.find(timer); it != timer_.end()) {
        g_source_remove(it->second);
        timer_.erase(it);
    }
}

void Fenstersystem_Glib::Beenden() { _exit(0); }

gboolean Fenstersystem_Glib::tick_start(gpointer selbst) {
    auto& system = *static_cast<Fenstersystem_Glib*>(selbst);
    if (system.form_) system.form_->Timer_start_Timer();
    return G_SOURCE_CONTINUE;
}

gboolean Fenstersystem_Glib::tick_ende(gpointer selbst) {
    auto& system = *static_cast<Fenstersystem_Glib*>(selbst);
    if (system.form_) system.form_->Timer_ende_Timer();
    return G_SOURCE_CONTINUE;
}

}  // namespace dadaviru
