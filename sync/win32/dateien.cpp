// Looks up and reads the override file in the current directory with FindFirstFileW and ReadFile.
// SPDX-License-Identifier: MIT
#include "dateien_win32.h"

#include <windows.h>

#include <algorithm>

#include "griff.h"
#include "utf16.h"

namespace dadaviru::win32 {

namespace {

constexpr DWORD nicht_zaehlend = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool gleich_ohne_gross_klein(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool vor(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), FALSE) ==
           CSTR_LESS_THAN;
}

}  // namespace

// A name without wildcards matches no more than that name, letter case ignored, but a search also
// matches a file whose short 8.3 name is the one asked for, so each long name is compared again.
// A folder with case-sensitive names (as WSL makes them) may hold several spellings: as on POSIX,
// the exact one wins, otherwise the first in code-unit order.
Dateifund Dateien_Win32::Datei_suchen(std::string_view name) {
    const auto gesucht = Utf16(name);
    if (!gesucht || gesucht->empty() || gesucht->find_first_of(L"*?") != std::wstring::npos)
        return {Suchergebnis::fehlgeschlagen, {}};

    WIN32_FIND_DATAW eintrag{};
    const Suchgriff suche(FindFirstFileW(gesucht->c_str(), &eintrag));
    if (!suche) {
        const DWORD fehler = GetLastError();
        return {fehler == ERROR_FILE_NOT_FOUND || fehler == ERROR_NO_MORE_FILES ? Suchergebnis::fehlt
                                                                                : Suchergebnis::fehlgeschlagen,
                {}};
    }

    std::optional<std::wstring> bester;
    do {
        const std::wstring_view kandidat = eintrag.cFileName;
        if ((eintrag.dwFileAttributes & nicht_zaehlend) != 0 || !gleich_ohne_gross_klein(kandidat, *gesucht)) continue;
        if (!bester || kandidat == *gesucht || (*bester != *gesucht && vor(kandidat, *bester)))
            bester = std::wstring(kandidat);
    } while (FindNextFileW(suche.get(), &eintrag));
    if (GetLastError() != ERROR_NO_MORE_FILES) return {Suchergebnis::fehlgeschlagen, {}};

    if (!bester) return {Suchergebnis::fehlt, {}};
    auto gefunden = Utf8(*bester);
    if (!gefunden) return {Suchergebnis::fehlgeschlagen, {}};
    return {Suchergebnis::gefunden, std::move(*gefunden)};
}

std::optional<std::string> Dateien_Win32::Datei_lesen(const std::string& name, std::size_t hoechstens) {
    const auto pfad = Utf16(name);
    if (!pfad || pfad->empty()) return std::nullopt;
    // Others may go on reading, writing or deleting the file while it is open here.
    const Dateigriff datei(CreateFileW(pfad->c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!datei) return std::nullopt;
    // A device or a pipe behind the name could block the read or never end.
    if (GetFileType(datei.get()) != FILE_TYPE_DISK) return std::nullopt;

    std::string inhalt(hoechstens, '\0');
    std::size_t gelesen = 0;
    while (gelesen < hoechstens) {
        const DWORD stueck = static_cast<DWORD>(std::min<std::size_t>(hoechstens - gelesen, 64 * 1024));
        DWORD n = 0;
        if (!ReadFile(datei.get(), inhalt.data() + gelesen, stueck, &n, nullptr)) return std::nullopt;
        if (n == 0) break;
        gelesen += n;
    }
    inhalt.resize(gelesen);
    return inhalt;
}

}  // namespace dadaviru::win32
