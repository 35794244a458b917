// frm_Zeit on GTK 3: the window with its design values, GLib timers, and native events turned
// into the form's handlers.
#include "app/posix/fenster_gtk.h"

#include <unistd.h>

#include <cstdio>
#include <memory>

namespace dadaviru {

namespace {

struct GObject_freigeben {
    void operator()(gpointer objekt) const { g_object_unref(objekt); }
};
template <class T>
using GObjekt = std::unique_ptr<T, GObject_freigeben>;

int bildschirm_dpi() {
    const double dpi = gdk_screen_get_resolution(gdk_screen_get_default());
    return dpi > 0 ? static_cast<int>(dpi + 0.5) : 96;
}

void aussehen_setzen(GtkWidget* fenster) {
    char css[256];
    std::snprintf(css, sizeof css,
                  "window { background: rgb(%d,%d,%d); font-family: \"%s\"; font-size: %.2fpt; font-weight: %d; "
                  "font-style: normal; text-decoration: none; }",
                  Entwurf::Rot, Entwurf::Gruen, Entwurf::Blau, Entwurf::Schrift, Entwurf::Schrift_Punkt,
                  Entwurf::Schrift_Gewicht);
    const GObjekt<GtkCssProvider> stil(gtk_css_provider_new());
    gtk_css_provider_load_from_data(stil.get(), css, -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(fenster), GTK_STYLE_PROVIDER(stil.get()),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

}  // namespace

Fenstersystem_Gtk::Fenstersystem_Gtk(bool anzeige, const char** symbol_xpm) {
    if (!anzeige) return;
    fenster_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(fenster_), Entwurf::Caption);
    gtk_window_set_resizable(GTK_WINDOW(fenster_), FALSE);
    const int dpi = bildschirm_dpi();
    gtk_widget_set_size_request(fenster_, Twips_zu_Pixel(Entwurf::Breite_Twips, dpi),
                                Twips_zu_Pixel(Entwurf::Hoehe_Twips, dpi));
    aussehen_setzen(fenster_);
    if (const GObjekt<GdkPixbuf> symbol{gdk_pixbuf_new_from_xpm_data(symbol_xpm)})
        gtk_window_set_icon(GTK_WINDOW(fenster_), symbol.get());
    // The close button, and a window destroyed from outside, both count as closing it.
    g_signal_connect(fenster_, "delete-event", G_CALLBACK(schliessen_angefragt), this);
    g_signal_connect(fenster_, "destroy-event", G_CALLBACK(schliessen_angefragt), this);
}

Fenstersystem_Gtk::~Fenstersystem_Gtk() {
    for (const auto& [name, quelle] : timer_) g_source_remove(quelle);
}

void Fenstersystem_Gtk::Schleife() {
    GMainLoop* schleife = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(schleife);
    g_main_loop_unref(schleife);
}

void Fenstersystem_Gtk::Timer_starten(Timer_Name timer, int millisekunden) {
    Timer_anhalten(timer);
    timer_[timer] = g_timeout_add(static_cast<guint>(millisekunden),
                                  timer == Timer_Name::Timer_start ? tick_start : tick_ende, this);
}

void Fenstersystem_Gtk::Timer_anhalten(Timer_Name timer) {
    if (const auto it = timer_.find(timer); it != timer_.end()) {
        g_source_remove(it->second);
        timer_.erase(it);
    }
}

void Fenstersystem_Gtk::Zeigen() {
    if (fenster_) gtk_widget_show(fenster_);
}

void Fenstersystem_Gtk::Beenden() { _exit(0); }

gboolean Fenstersystem_Gtk::tick_start(gpointer selbst) {
    auto& system = *static_cast<Fenstersystem_Gtk*>(selbst);
    if (system.form_) system.form_->Timer_start_Timer();
    return G_SOURCE_CONTINUE;
}

gboolean Fenstersystem_Gtk::tick_ende(gpointer selbst) {
    auto& system = *static_cast<Fenstersystem_Gtk*>(selbst);
    if (system.form_) system.form_->Timer_ende_Timer();
    return G_SOURCE_CONTINUE;
}

gboolean Fenstersystem_Gtk::schliessen_angefragt(GtkWidget*, GdkEvent*, gpointer selbst) {
    auto& system = *static_cast<Fenstersystem_Gtk*>(selbst);
    if (system.form_) system.form_->Schliessen();
    return TRUE;
}

}  // namespace dadaviru
