// Starts either program on Linux: GTK when a display can be opened, windowless otherwise.
#include <gtk/gtk.h>

#include "app/posix/fenster_gtk.h"
#include "app/posix/inet_curl.h"
#include "app/programm.h"
#include "app/symbole/dadaviru.xpm"
#include "app/symbole/dadaviru_autostart.xpm"

namespace dadaviru {

int Programm_starten(Startmodus modus) {
    // No arguments reach GTK: the program has no command line, and GTK's own options stay off too.
    // Without a display named in the environment there is nothing for GTK to open: its start-up is skipped.
    const bool anzeige = (g_getenv("DISPLAY") || g_getenv("WAYLAND_DISPLAY")) && gtk_init_check(nullptr, nullptr);
    Inet_Curl inet;
    Fenstersystem_Gtk system(anzeige, modus == Startmodus::beim_Laden ? dadaviru_xpm : dadaviru_autostart_xpm);
    frm_Zeit form(modus, inet, system);
    system.verbinden(form);
    form.Laden();
    system.Schleife();
    return 0;
}

}  // namespace dadaviru
