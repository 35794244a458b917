// kappenprobe: a harmless GTK module for the tests. Loaded through GTK_MODULES by a program that
// runs GTK, it writes the capability sets of the process it runs in to the file named by
// DADAVIRU_KAPPENPROBE, as any module a user names could read them, or raise one of them.
// SPDX-License-Identifier: MIT
#include <cstdlib>
#include <fstream>
#include <string>

extern "C" [[gnu::visibility("default")]] void gtk_module_init(int*, char***) {
    const char* ziel = std::getenv("DADAVIRU_KAPPENPROBE");
    if (!ziel) return;
    std::ifstream status("/proc/self/status");
    std::ofstream aus(ziel);
    for (std::string zeile; std::getline(status, zeile);)
        if (zeile.starts_with("Cap")) aus << zeile << '\n';
}
