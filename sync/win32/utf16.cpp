// Converts between the portable code's UTF-8 and the UTF-16 of the Windows API, strictly.
// SPDX-License-Identifier: MIT
#include "utf16.h"

#include <windows.h>

#include <limits>

namespace dadaviru::win32 {

std::optional<std::wstring> Utf16(std::string_view utf8) {
    if (utf8.empty()) return std::wstring();
    if (utf8.find('\0') != std::string_view::npos ||
        utf8.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return std::nullopt;
    const int laenge = static_cast<int>(utf8.size());
    const int breit = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), laenge, nullptr, 0);
    if (breit <= 0) return std::nullopt;
    std::wstring ergebnis(static_cast<std::size_t>(breit), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), laenge, ergebnis.data(), breit) != breit)
        return std::nullopt;
    return ergebnis;
}

std::optional<std::string> Utf8(std::wstring_view utf16) {
    if (utf16.empty()) return std::string();
    if (utf16.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 3)) return std::nullopt;
    const int laenge = static_cast<int>(utf16.size());
    const int schmal =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), laenge, nullptr, 0, nullptr, nullptr);
    if (schmal <= 0) return std::nullopt;
    std::string ergebnis(static_cast<std::size_t>(schmal), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), laenge, ergebnis.data(), schmal, nullptr,
                            nullptr) != schmal)
        return std::nullopt;
    return ergebnis;
}

}  // namespace dadaviru::win32
