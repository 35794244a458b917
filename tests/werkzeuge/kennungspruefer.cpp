// kennungspruefer: reads a built Windows program through the APIs Explorer, COM and the loader use and
// compares its identification (version information, type library, icon, manifest) character for character.
// SPDX-License-Identifier: MIT
#include <windows.h>

#include <oleauto.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Written out here on purpose, independent of cmake/Kennung.cmake, so that a string mangled anywhere
// on its way into the .exe (CMake, configure_file, windres, iconv, widl) shows up.
struct Erwartung {
    std::wstring_view programm;
    std::wstring_view beschreibung;  // FileDescription
    std::wstring_view selbst;        // the type library's helpstring
};

constexpr Erwartung erwartungen[] = {
    {L"Dadaviru", L"\u00e4ndert die Systemzeit", L"Systemzeit \u00e4ndern"},
    {L"Dadaviru_Autostart", L"\u00c4ndert die Systemzeit nach 30sek.", L"Systemzeit \u00e4ndern (f\u00fcr Revizavir)"},
};
constexpr std::wstring_view produkt = L"Dadaviru";
constexpr std::wstring_view version = KENNUNG_VERSION;
constexpr WORD version_teile[] = {KENNUNG_VERSION_NUMERISCH};
constexpr DWORD version_hoch = MAKELONG(version_teile[1], version_teile[0]);
constexpr DWORD version_tief = MAKELONG(version_teile[3], version_teile[2]);
constexpr WORD sprache = 0x0407;
constexpr WORD codeseite = 1252;

std::string utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int laenge =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string aus(static_cast<std::size_t>(laenge), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), aus.data(), laenge, nullptr, nullptr);
    return aus;
}

// For FAIL lines: every code unit outside printable ASCII escaped, so that "a" followed by a combining
// diaeresis, or UTF-8 read as Windows-1252, cannot pass for the expected text on the terminal.
std::string genau(std::wstring_view text) {
    std::string aus = "\"";
    for (const wchar_t c : text) {
        if (c >= 0x20 && c < 0x7f && c != L'"' && c != L'\\') {
            aus.push_back(static_cast<char>(c));
        } else {
            char puffer[8];
            std::snprintf(puffer, sizeof puffer, "\\u%04x", static_cast<unsigned>(c));
            aus += puffer;
        }
    }
    return aus + "\"";
}

class Bericht {
public:
    void ok(std::string_view pruefung, std::string_view gelesen) {
        zeile("ok   " + std::string(pruefung) + ": " + std::string(gelesen));
    }
    void fail(std::string_view pruefung, std::string_view erwartet, std::string_view gelesen) {
        ++fehlschlaege_;
        zeile("FAIL " + std::string(pruefung) + ": expected " + std::string(erwartet) + ", got " +
              std::string(gelesen));
    }
    void text(std::string_view pruefung, std::wstring_view erwartet, const std::optional<std::wstring>& gelesen,
              std::string_view warum_nichts) {
        if (!gelesen)
            fail(pruefung, genau(erwartet), "nothing (" + std::string(warum_nichts) + ")");
        else if (*gelesen != erwartet)
            fail(pruefung, genau(erwartet), genau(*gelesen));
        else
            ok(pruefung, "\"" + utf8(*gelesen) + "\"");
    }
    void ob(bool bestanden, std::string_view pruefung, std::string_view erwartet, std::string_view gelesen) {
        if (bestanden)
            ok(pruefung, gelesen);
        else
            fail(pruefung, erwartet, gelesen);
    }
    void wert(std::string_view pruefung, const std::string& erwartet, const std::string& gelesen) {
        ob(gelesen == erwartet, pruefung, erwartet, gelesen);
    }
    void zahl(std::string_view pruefung, unsigned long erwartet, unsigned long gelesen) {
        wert(pruefung, std::to_string(erwartet), std::to_string(gelesen));
    }
    int fehlschlaege() const { return fehlschlaege_; }

private:
    static void zeile(const std::string& text) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
    }
    int fehlschlaege_ = 0;
};

std::string fehlertext(const char* funktion, unsigned long code) {
    char puffer[96];
    std::snprintf(puffer, sizeof puffer, "%s failed, 0x%08lx", funktion, code);
    return puffer;
}

std::string hex(unsigned long zahl) {
    char puffer[16];
    std::snprintf(puffer, sizeof puffer, "0x%04lx", zahl);
    return puffer;
}

std::string version_text(DWORD hoch, DWORD tief) {
    return std::to_string(HIWORD(hoch)) + "." + std::to_string(LOWORD(hoch)) + "." + std::to_string(HIWORD(tief)) +
           "." + std::to_string(LOWORD(tief));
}

void versionsinfo_pruefen(Bericht& bericht, const std::wstring& pfad, const Erwartung& erwartung) {
    DWORD griff = 0;
    const DWORD groesse = GetFileVersionInfoSizeW(pfad.c_str(), &griff);
    std::vector<unsigned char> block(groesse);
    if (groesse == 0 || !GetFileVersionInfoW(pfad.c_str(), 0, groesse, block.data())) {
        const char* funktion = groesse == 0 ? "GetFileVersionInfoSizeW" : "GetFileVersionInfoW";
        bericht.fail("version information", "a VERSIONINFO resource", fehlertext(funktion, GetLastError()));
        return;
    }
    void* wert = nullptr;
    UINT laenge = 0;

    // Explorer picks the string block through this list, so it must name exactly the one block there is.
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &wert, &laenge) && laenge == 2 * sizeof(WORD)) {
        WORD paar[2];
        std::memcpy(paar, wert, sizeof paar);
        char puffer[40];
        std::snprintf(puffer, sizeof puffer, "{0x%04x, %u}", paar[0], paar[1]);
        bericht.ob(paar[0] == sprache && paar[1] == codeseite, "Translation", "{0x0407, 1252}", puffer);
    } else {
        bericht.fail("Translation", "{0x0407, 1252}", "no single translation (" + std::to_string(laenge) + " bytes)");
    }

    const std::wstring erwartet_intern(erwartung.programm);
    const std::wstring erwartet_datei = erwartet_intern + L".exe";
    const struct {
        const wchar_t* name;
        std::wstring_view erwartet;
    } felder[] = {
        {L"FileDescription", erwartung.beschreibung}, {L"ProductName", produkt}, {L"InternalName", erwartet_intern},
        {L"OriginalFilename", erwartet_datei},        {L"FileVersion", version}, {L"ProductVersion", version},
    };
    for (const auto& feld : felder) {
        const std::wstring schluessel = std::wstring(L"\\StringFileInfo\\040704E4\\") + feld.name;
        std::optional<std::wstring> gelesen;
        if (VerQueryValueW(block.data(), schluessel.c_str(), &wert, &laenge) && wert != nullptr) {
            // The length counts the terminating zero when there is one.
            const auto* zeichen = static_cast<const wchar_t*>(wert);
            gelesen = std::wstring(zeichen, wcsnlen(zeichen, laenge));
        }
        bericht.text(utf8(feld.name), feld.erwartet, gelesen, "VerQueryValueW found no such value");
    }

    if (VerQueryValueW(block.data(), L"\\", &wert, &laenge) && laenge >= sizeof(VS_FIXEDFILEINFO)) {
        VS_FIXEDFILEINFO fest;
        std::memcpy(&fest, wert, sizeof fest);
        bericht.wert("fixed info signature", hex(VS_FFI_SIGNATURE), hex(fest.dwSignature));
        const std::string erwartet = version_text(version_hoch, version_tief);
        bericht.wert("file version", erwartet, version_text(fest.dwFileVersionMS, fest.dwFileVersionLS));
        bericht.wert("product version", erwartet, version_text(fest.dwProductVersionMS, fest.dwProductVersionLS));
        bericht.wert("file OS (VOS__WINDOWS32)", hex(VOS__WINDOWS32), hex(fest.dwFileOS));
        bericht.wert("file type (VFT_APP)", hex(VFT_APP), hex(fest.dwFileType));
    } else {
        bericht.fail("fixed file info", "a VS_FIXEDFILEINFO", "none");
    }
}

void typbibliothek_pruefen(Bericht& bericht, const std::wstring& pfad, const Erwartung& erwartung) {
    // REGKIND_NONE: the same loading as LoadTypeLib, without ever registering anything in the prefix.
    ITypeLib* bibliothek = nullptr;
    const HRESULT hr = LoadTypeLibEx(pfad.c_str(), REGKIND_NONE, &bibliothek);
    if (FAILED(hr) || bibliothek == nullptr) {
        const std::string warum = fehlertext("LoadTypeLibEx", static_cast<unsigned long>(hr));
        bericht.text("type library name", erwartung.programm, std::nullopt, warum);
        bericht.text("type library helpstring", erwartung.selbst, std::nullopt, warum);
        return;
    }
    BSTR name = nullptr, hilfe = nullptr;
    const HRESULT doku = bibliothek->GetDocumentation(-1, &name, &hilfe, nullptr, nullptr);
    const auto als_text = [&](BSTR b) -> std::optional<std::wstring> {
        if (FAILED(doku)) return std::nullopt;
        return b ? std::wstring(b, SysStringLen(b)) : std::wstring();
    };
    const std::string warum = fehlertext("GetDocumentation", static_cast<unsigned long>(doku));
    bericht.text("type library name", erwartung.programm, als_text(name), warum);
    bericht.text("type library helpstring", erwartung.selbst, als_text(hilfe), warum);
    SysFreeString(name);
    SysFreeString(hilfe);

    TLIBATTR* merkmale = nullptr;
    if (SUCCEEDED(bibliothek->GetLibAttr(&merkmale)) && merkmale != nullptr) {
        bericht.wert("type library lcid", hex(sprache), hex(merkmale->lcid));
        bericht.wert("type library version", "1.1",
                     std::to_string(merkmale->wMajorVerNum) + "." + std::to_string(merkmale->wMinorVerNum));
        // The checker is built with the programs' own compiler, so it expects their word size.
        constexpr SYSKIND syskind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
        bericht.zahl(sizeof(void*) == 8 ? "type library syskind (SYS_WIN64)" : "type library syskind (SYS_WIN32)",
                     syskind, merkmale->syskind);
        bibliothek->ReleaseTLibAttr(merkmale);
    } else {
        bericht.fail("type library attributes", "TLIBATTR", "GetLibAttr failed");
    }
    bibliothek->Release();
}

void symbol_pruefen(Bericht& bericht, const std::wstring& pfad) {
    // UINT_MAX is its answer for a file it cannot read at all.
    const UINT anzahl = ExtractIconExW(pfad.c_str(), -1, nullptr, nullptr, 0);
    bericht.ob(anzahl >= 1 && anzahl != UINT_MAX, "ExtractIconExW icons", "at least 1", std::to_string(anzahl));
    HICON gross = nullptr;
    if (ExtractIconExW(pfad.c_str(), 0, &gross, nullptr, 1) == 1 && gross != nullptr) {
        bericht.ok("ExtractIconExW first icon", "extracted");
        DestroyIcon(gross);
    } else {
        bericht.fail("ExtractIconExW first icon", "an icon", "none");
    }
}

struct Ressource {
    const unsigned char* daten = nullptr;
    DWORD groesse = 0;
};

std::optional<Ressource> ressource(HMODULE modul, LPCWSTR typ, WORD id) {
    HRSRC fund = FindResourceW(modul, MAKEINTRESOURCEW(id), typ);
    if (!fund) return std::nullopt;
    HGLOBAL geladen = LoadResource(modul, fund);
    const void* daten = geladen ? LockResource(geladen) : nullptr;
    if (!daten) return std::nullopt;
    return Ressource{static_cast<const unsigned char*>(daten), SizeofResource(modul, fund)};
}

BOOL CALLBACK erste_gruppe(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR ergebnis) {
    *reinterpret_cast<std::wstring*>(ergebnis) =
        IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) : std::wstring(name);
    return FALSE;
}

// The group is what Explorer and LoadIcon read: one 32x32 image of 16 colours, and the image it points at.
void symbolgruppe_pruefen(Bericht& bericht, HMODULE modul) {
    std::wstring erste;
    EnumResourceNamesW(modul, RT_GROUP_ICON, erste_gruppe, reinterpret_cast<LONG_PTR>(&erste));
    bericht.text("first icon group (the file icon)", L"#1", erste.empty() ? std::nullopt : std::optional(erste),
                 "no RT_GROUP_ICON");

    const auto gruppe = ressource(modul, RT_GROUP_ICON, 1);
    if (!gruppe || gruppe->groesse < 6 + 14) {
        bericht.fail("RT_GROUP_ICON 1", "a group of one image", "none");
        return;
    }
    WORD kopf[3];
    std::memcpy(kopf, gruppe->daten, sizeof kopf);
    bericht.zahl("RT_GROUP_ICON 1 images", 1, kopf[2]);
    // GRPICONDIRENTRY: width, height, colours, reserved (bytes), planes, bit count (words), size, id.
    const unsigned char* eintrag = gruppe->daten + 6;
    WORD ebenen, bits, id;
    DWORD bytes;
    std::memcpy(&ebenen, eintrag + 4, 2);
    std::memcpy(&bits, eintrag + 6, 2);
    std::memcpy(&bytes, eintrag + 8, 4);
    std::memcpy(&id, eintrag + 12, 2);
    bericht.zahl("icon width", 32, eintrag[0]);
    bericht.zahl("icon height", 32, eintrag[1]);
    bericht.zahl("icon bColorCount", 16, eintrag[2]);
    bericht.zahl("icon wPlanes", 1, ebenen);
    bericht.zahl("icon wBitCount", 4, bits);

    const auto bild = ressource(modul, RT_ICON, id);
    constexpr DWORD bild_bytes = sizeof(BITMAPINFOHEADER) + 16 * 4 + 32 * 32 / 2 + 32 * 32 / 8;
    if (!bild || bild->groesse != bytes || bild->groesse != bild_bytes) {
        bericht.fail("RT_ICON image", std::to_string(bild_bytes) + " bytes",
                     bild ? std::to_string(bild->groesse) + " bytes, group says " + std::to_string(bytes) : "none");
        return;
    }
    BITMAPINFOHEADER info;
    std::memcpy(&info, bild->daten, sizeof info);
    const bool passt = info.biSize == sizeof info && info.biWidth == 32 && info.biHeight == 64 && info.biPlanes == 1 &&
                       info.biBitCount == 4 && info.biCompression == BI_RGB;
    char puffer[96];
    std::snprintf(puffer, sizeof puffer, "header %lu, %ldx%ld, %u plane(s), %u bits, compression %lu", info.biSize,
                  info.biWidth, info.biHeight, info.biPlanes, info.biBitCount, info.biCompression);
    bericht.ob(passt, "RT_ICON image", "header 40, 32x64, 1 plane(s), 4 bits, compression 0", puffer);

    // Both icons are a round face on a transparent square: a mask that is all set or all clear means
    // the transparency went wrong on the way.
    const unsigned char* maske = bild->daten + sizeof info + 16 * 4 + 32 * 32 / 2;
    int durchsichtig = 0;
    for (int i = 0; i < 32 * 32 / 8; ++i) {
        for (int b = 0; b < 8; ++b)
            durchsichtig += (maske[i] >> b) & 1;
    }
    const std::string gezaehlt = std::to_string(durchsichtig) + " of 1024 transparent";
    bericht.ob(durchsichtig > 0 && durchsichtig < 1024, "icon mask", "some pixels transparent, some not", gezaehlt);

    // The window's own call.
    const HICON symbol = LoadIconW(modul, MAKEINTRESOURCEW(1));
    bericht.ob(symbol != nullptr, "LoadIcon(MAKEINTRESOURCE(1))", "an icon",
               symbol ? std::string("loaded") : fehlertext("LoadIconW", GetLastError()));
}

void manifest_pruefen(Bericht& bericht, HMODULE modul) {
    const auto manifest = ressource(modul, RT_MANIFEST, 1);
    if (!manifest) {
        bericht.fail("RT_MANIFEST 1", "a manifest", "none");
        return;
    }
    const std::string_view text(reinterpret_cast<const char*>(manifest->daten), manifest->groesse);
    for (const std::string_view teil : {"level=\"asInvoker\"", ">true/pm</dpiAware>", ">PerMonitorV2</dpiAwareness>"}) {
        const bool da = text.find(teil) != std::string_view::npos;
        bericht.ob(da, "manifest", teil, da ? teil : "no such text");
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Lines end in \n and the UTF-8 bytes pass unchanged, whatever the console.
    _setmode(_fileno(stdout), _O_BINARY);
    const Erwartung* erwartung = nullptr;
    if (argc == 3) {
        for (const auto& e : erwartungen) {
            if (e.programm == argv[2]) erwartung = &e;
        }
    }
    if (!erwartung) {
        std::fprintf(stderr, "usage: kennungspruefer PROGRAM.exe Dadaviru|Dadaviru_Autostart\n");
        return 2;
    }
    const std::wstring pfad = argv[1];
    Bericht bericht;
    versionsinfo_pruefen(bericht, pfad, *erwartung);
    typbibliothek_pruefen(bericht, pfad, *erwartung);
    symbol_pruefen(bericht, pfad);

    HMODULE modul = LoadLibraryExW(pfad.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (modul) {
        symbolgruppe_pruefen(bericht, modul);
        manifest_pruefen(bericht, modul);
        FreeLibrary(modul);
    } else {
        bericht.fail("resources", "a loadable image", fehlertext("LoadLibraryExW", GetLastError()));
    }

    std::fflush(stdout);
    if (bericht.fehlschlaege() > 0) {
        std::fprintf(stderr, "kennungspruefer: %d check(s) failed\n", bericht.fehlschlaege());
        return 1;
    }
    return 0;
}
