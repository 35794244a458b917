// frm_Zeit on Win32: the window with its design values, sized for the window's DPI, window
// timers, and WM_TIMER and WM_CLOSE turned into the form's handlers.
// SPDX-License-Identifier: MIT
#include "app/win32/fenster_win32.h"

#include <cmath>
#include <cstring>
#include <string>

namespace dadaviru {

namespace {

constexpr const wchar_t* klassenname = L"Dadaviru_frm_Zeit";
constexpr int symbol_id = 1;
// A fixed border with a title bar, system menu and minimise button: not resizable, no maximise box.
constexpr DWORD stil = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD erweiterter_stil = 0;

UINT_PTR timer_id(Timer_Name timer) { return timer == Timer_Name::Timer_start ? 1 : 2; }

std::wstring breit(const char* ascii) { return std::wstring(ascii, ascii + std::strlen(ascii)); }

// Functions of newer Windows versions, looked up at run time so the program starts on older ones.
template <class Funktion>
Funktion user32_funktion(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const FARPROC adresse = user32 ? GetProcAddress(user32, name) : nullptr;
    // By way of a function type without parameters, which GCC accepts as a cast between any two.
    return reinterpret_cast<Funktion>(reinterpret_cast<void (*)()>(adresse));
}

struct Geraetekontext {
    HWND fenster;
    HDC dc;
    explicit Geraetekontext(HWND f) : fenster(f), dc(GetDC(f)) {}
    ~Geraetekontext() {
        if (dc) ReleaseDC(fenster, dc);
    }
    Geraetekontext(const Geraetekontext&) = delete;
    Geraetekontext& operator=(const Geraetekontext&) = delete;
};

// Windows 10 (1607) and later know each window's DPI; before, there is one for the whole screen.
int fenster_dpi(HWND fenster) {
    using GetDpiForWindow_t = UINT(WINAPI*)(HWND);
    static const auto dpi_fuer_fenster = user32_funktion<GetDpiForWindow_t>("GetDpiForWindow");
    if (dpi_fuer_fenster) {
        if (const UINT dpi = dpi_fuer_fenster(fenster); dpi > 0) return static_cast<int>(dpi);
    }
    const Geraetekontext kontext(fenster);
    const int dpi = kontext.dc ? GetDeviceCaps(kontext.dc, LOGPIXELSX) : 0;
    return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

// The outer size for a client area, with the frame as it is drawn at `dpi`.
RECT aussenmass(int breite, int hoehe, int dpi) {
    using AdjustWindowRectExForDpi_t = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto fuer_dpi = user32_funktion<AdjustWindowRectExForDpi_t>("AdjustWindowRectExForDpi");
    RECT rechteck{0, 0, breite, hoehe};
    if (!fuer_dpi || !fuer_dpi(&rechteck, stil, FALSE, erweiterter_stil, static_cast<UINT>(dpi)))
        AdjustWindowRectEx(&rechteck, stil, FALSE, erweiterter_stil);
    return rechteck;
}

HFONT schrift_erzeugen(int dpi) {
    LOGFONTW schrift{};
    schrift.lfHeight = -static_cast<LONG>(std::lround(Entwurf::Schrift_Punkt * dpi / 72.0));
    schrift.lfWeight = Entwurf::Schrift_Gewicht;
    schrift.lfCharSet = DEFAULT_CHARSET;
    schrift.lfOutPrecision = OUT_DEFAULT_PRECIS;
    schrift.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    schrift.lfQuality = DEFAULT_QUALITY;
    schrift.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    const std::wstring name = breit(Entwurf::Schrift);
    name.copy(schrift.lfFaceName, LF_FACESIZE - 1);
    return CreateFontIndirectW(&schrift);
}

}  // namespace

Fenstersystem_Win32::Fenstersystem_Win32(HINSTANCE instanz, std::function<void()> beenden)
    : instanz_(instanz), beenden_(std::move(beenden)) {
    hintergrund_.reset(CreateSolidBrush(RGB(Entwurf::Rot, Entwurf::Gruen, Entwurf::Blau)));

    // The icon comes from the program's resources; a program without one gets the system's.
    const HICON symbol = LoadIconW(instanz_, MAKEINTRESOURCEW(symbol_id));
    WNDCLASSEXW klasse{};
    klasse.cbSize = sizeof klasse;
    klasse.lpfnWndProc = fensterprozedur;
    klasse.hInstance = instanz_;
    klasse.hIcon = symbol;
    klasse.hIconSm = symbol;
    klasse.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    klasse.hbrBackground = hintergrund_.get();
    klasse.lpszClassName = klassenname;
    klasse_ = RegisterClassExW(&klasse);
    if (!klasse_) return;

    const std::wstring titel = breit(Entwurf::Caption);
    fenster_.reset(CreateWindowExW(erweiterter_stil, klassenname, titel.c_str(), stil, CW_USEDEFAULT, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instanz_, this));
    if (!fenster_) {
        // Without a window there is nothing to show, but the timers still need one to tick on,
        // so the program runs and ends as it would with its window.
        fenster_.reset(
            CreateWindowExW(0, klassenname, titel.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instanz_, this));
        unsichtbar_ = true;
        return;
    }
    const int dpi = fenster_dpi(fenster_.get());
    groesse_setzen(dpi);
    schrift_.reset(schrift_erzeugen(dpi));
    SendMessageW(fenster_.get(), WM_SETFONT, reinterpret_cast<WPARAM>(schrift_.get()), FALSE);
}

Fenstersystem_Win32::~Fenstersystem_Win32() {
    form_ = nullptr;
    fenster_.reset();
    if (klasse_) UnregisterClassW(klassenname, instanz_);
}

void Fenstersystem_Win32::groesse_setzen(int dpi) {
    const RECT aussen =
        aussenmass(Twips_zu_Pixel(Entwurf::Breite_Twips, dpi), Twips_zu_Pixel(Entwurf::Hoehe_Twips, dpi), dpi);
    SetWindowPos(fenster_.get(), nullptr, 0, 0, aussen.right - aussen.left, aussen.bottom - aussen.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int Fenstersystem_Win32::Schleife() {
    MSG nachricht{};
    BOOL ergebnis = FALSE;
    while ((ergebnis = GetMessageW(&nachricht, nullptr, 0, 0)) > 0) {
        TranslateMessage(&nachricht);
        DispatchMessageW(&nachricht);
    }
    return ergebnis == 0 ? static_cast<int>(nachricht.wParam) : 1;
}

void Fenstersystem_Win32::Timer_starten(Timer_Name timer, int millisekunden) {
    // Setting a timer that exists restarts it with the new interval.
    if (fenster_) SetTimer(fenster_.get(), timer_id(timer), static_cast<UINT>(millisekunden), nullptr);
}

void Fenstersystem_Win32::Timer_anhalten(Timer_Name timer) {
    if (fenster_) KillTimer(fenster_.get(), timer_id(timer));
}

void Fenstersystem_Win32::Zeigen() {
    if (!fenster_ || unsichtbar_) return;
    // The first show takes the state the starting program asked for (normal, minimised).
    ShowWindow(fenster_.get(), SW_SHOWDEFAULT);
    UpdateWindow(fenster_.get());
}

void Fenstersystem_Win32::Beenden() {
    if (beenden_)
        beenden_();
    else
        ExitProcess(0);
}

LRESULT CALLBACK Fenstersystem_Win32::fensterprozedur(HWND fenster, UINT nachricht, WPARAM w, LPARAM l) {
    if (nachricht == WM_NCCREATE) {
        const auto* erzeugung = reinterpret_cast<const CREATESTRUCTW*>(l);
        SetWindowLongPtrW(fenster, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(erzeugung->lpCreateParams));
    }
    auto* system = reinterpret_cast<Fenstersystem_Win32*>(GetWindowLongPtrW(fenster, GWLP_USERDATA));
    if (!system) return DefWindowProcW(fenster, nachricht, w, l);
    return system->behandeln(fenster, nachricht, w, l);
}

LRESULT Fenstersystem_Win32::behandeln(HWND fenster, UINT nachricht, WPARAM w, LPARAM l) {
    switch (nachricht) {
        case WM_TIMER:
            if (!form_) return 0;
            if (w == timer_id(Timer_Name::Timer_start))
                form_->Timer_start_Timer();
            else if (w == timer_id(Timer_Name::Timer_ende))
                form_->Timer_ende_Timer();
            return 0;
        case WM_CLOSE:
            // The window stays: the form decides whether and when the program ends.
            if (form_) form_->Schliessen();
            return 0;
        case WM_SETFONT:
            gesetzte_schrift_ = reinterpret_cast<HFONT>(w);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(gesetzte_schrift_);
        case WM_DPICHANGED: {
            // Moved to a screen with another DPI: take the size Windows suggests, and a font to match.
            const auto* vorschlag = reinterpret_cast<const RECT*>(l);
            SetWindowPos(fenster, nullptr, vorschlag->left, vorschlag->top, vorschlag->right - vorschlag->left,
                         vorschlag->bottom - vorschlag->top, SWP_NOZORDER | SWP_NOACTIVATE);
            if (HFONT neu = schrift_erzeugen(HIWORD(w))) {
                schrift_.reset(neu);
                SendMessageW(fenster, WM_SETFONT, reinterpret_cast<WPARAM>(neu), FALSE);
            }
            return 0;
        }
        default:
            return DefWindowProcW(fenster, nachricht, w, l);
    }
}

}  // namespace dadaviru
