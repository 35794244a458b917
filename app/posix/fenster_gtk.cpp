// frm_Zeit on GTK 3: the window with its design values, and its close turned into the form's handler.
// SPDX-License-Identifier: MIT
#include "app/posix/fenster_gtk.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <memory>

#include "app/frm_zeit.h"

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

}  // namespace dadaviru

struct dadaviru_gtk_fenster {
    GtkWidget* fenster;  // owned by GTK; it lives until the process ends
    void (*schliessen)(void*);
    void* nutzer;
};

namespace {

gboolean schliessen_angefragt(GtkWidget*, GdkEvent*, gpointer daten) {
    const auto* f = static_cast<dadaviru_gtk_fenster*>(daten);
    f->schliessen(f->nutzer);
    return TRUE;
}

}  // namespace

dadaviru_gtk_fenster* dadaviru_gtk_oeffnen(const char** symbol_xpm, void (*schliessen)(void*), void* nutzer) {
    using namespace dadaviru;
    // No arguments reach GTK: the program has no command line, and GTK's own options stay off too.
    if (!gtk_init_check(nullptr, nullptr)) return nullptr;
    GtkWidget* fenster = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(fenster), Entwurf::Caption);
    gtk_window_set_resizable(GTK_WINDOW(fenster), FALSE);
    const int dpi = bildschirm_dpi();
    gtk_widget_set_size_request(fenster, Twips_zu_Pixel(Entwurf::Breite_Twips, dpi),
                                Twips_zu_Pixel(Entwurf::Hoehe_Twips, dpi));
    aussehen_setzen(fenster);
    if (const GObjekt<GdkPixbuf> symbol{gdk_pixbuf_new_from_xpm_data(symbol_xpm)})
        gtk_window_set_icon(GTK_WINDOW(fenster), symbol.get());
    auto* f = new dadaviru_gtk_fenster{fenster, schliessen, nutzer};  // lives as long as the window
    // The close button, and a window destroyed from outside, both count as closing it.
    g_signal_connect(fenster, "delete-event", G_CALLBACK(schliessen_angefragt), f);
    g_signal_connect(fenster, "destroy-event", G_CALLBACK(schliessen_angefragt), f);
    return f;
}

void dadaviru_gtk_zeigen(dadaviru_gtk_fenster* f) { gtk_widget_show(f->fenster); }
