// Writes the local date and time of day with SetLocalTime, after enabling the right to change the
// clock. Without that right each write fails and is skipped like any other failure.
// SPDX-License-Identifier: MIT
#include "uhr_win32.h"

#include <utility>

#include "../uhrbereich.h"
#include "../wandzeit.h"
#include "griff.h"

namespace dadaviru::win32 {

namespace {

Wandzeit wandzeit(const SYSTEMTIME& st) {
    return {{st.wYear, st.wMonth, st.wDay}, {st.wHour, st.wMinute, st.wSecond}, st.wMilliseconds * 1'000'000L};
}

// A year past what a WORD holds would wrap round to one that looks harmless.
std::optional<SYSTEMTIME> systemzeit(const Wandzeit& w) {
    if (!std::in_range<WORD>(w.datum.jahr)) return std::nullopt;
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(w.datum.jahr);
    st.wMonth = static_cast<WORD>(w.datum.monat);
    st.wDay = static_cast<WORD>(w.datum.tag);
    st.wDayOfWeek = 0;  // SetLocalTime ignores it; the old one would be wrong for a new date
    st.wHour = static_cast<WORD>(w.zeit.stunde);
    st.wMinute = static_cast<WORD>(w.zeit.minute);
    st.wSecond = static_cast<WORD>(w.zeit.sekunde);
    st.wMilliseconds = static_cast<WORD>(w.nanosekunden / 1'000'000);
    return st;
}

}  // namespace

std::optional<SYSTEMTIME> Systemzeit_mit_Datum(const SYSTEMTIME& jetzt, const Datum& datum) {
    return systemzeit(Datum_ersetzt(wandzeit(jetzt), datum));
}

std::optional<SYSTEMTIME> Systemzeit_mit_Uhrzeit(const SYSTEMTIME& jetzt, const Uhrzeit& zeit,
                                                 const std::optional<Datum>& datum,
                                                 std::chrono::nanoseconds seit_ankunft) {
    return systemzeit(Uhrzeit_ersetzt(wandzeit(jetzt), zeit, datum, seit_ankunft));
}

std::optional<std::int64_t> Sekunde_seit_1970(const SYSTEMTIME& utc) {
    FILETIME ft{};
    if (!SystemTimeToFileTime(&utc, &ft)) return std::nullopt;
    // 100 ns steps since 1601, which fit in 63 bits for every year a SYSTEMTIME holds.
    const auto schritte = static_cast<std::int64_t>((std::uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime);
    constexpr std::int64_t je_sekunde = 10'000'000, bis_1970 = 11'644'473'600;
    const std::int64_t sekunden = schritte / je_sekunde;
    return sekunden - bis_1970;
}

bool Uhrrecht_einschalten() {
    HANDLE roh = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &roh)) return false;
    const Kerngriff token(roh);
    TOKEN_PRIVILEGES recht{};
    recht.PrivilegeCount = 1;
    recht.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, SE_SYSTEMTIME_NAME, &recht.Privileges[0].Luid)) return false;
    // Succeeds even for a right the account lacks; only the last error tells.
    if (!AdjustTokenPrivileges(token.get(), FALSE, &recht, 0, nullptr, nullptr)) return false;
    return GetLastError() == ERROR_SUCCESS;
}

SYSTEMTIME Systemuhr::lesen() {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return st;
}

bool Systemuhr::schreiben(const SYSTEMTIME& zeit) {
    if (!recht_versucht_) {
        recht_versucht_ = true;
        Uhrrecht_einschalten();  // without the right, SetLocalTime reports the refusal
    }
    return SetLocalTime(&zeit) != FALSE;
}

std::optional<std::int64_t> Systemuhr::sekunde_utc(const SYSTEMTIME& zeit) {
    SYSTEMTIME utc{};
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &zeit, &utc)) return std::nullopt;
    return Sekunde_seit_1970(utc);
}

bool Uhr_Win32::Datum_setzen(const Datum& datum) {
    const auto neu = Systemzeit_mit_Datum(ortsuhr_.lesen(), datum);
    return nimmt(neu) && zweimal_schreiben([&] { return *neu; });
}

// The range is checked on the whole second, before the fraction is taken, which leaves the second as
// it is: the check looks up the zone's rules, and the clock would fall behind by the time that takes.
// Each of the two writes takes the fraction afresh, for the same reason. A SYSTEMTIME holds whole
// milliseconds and the conversion cuts the rest off: half a millisecond more makes that a rounding,
// so the clock lands within half a millisecond either way instead of up to one behind.
bool Uhr_Win32::Uhrzeit_setzen(const Uhrzeit& zeit, const std::optional<Datum>& datum, Ankunft angekommen) {
    using namespace std::chrono_literals;
    const SYSTEMTIME jetzt = ortsuhr_.lesen();
    if (!nimmt(Systemzeit_mit_Uhrzeit(jetzt, zeit, datum, 0ns))) return false;
    return zweimal_schreiben([&] { return *Systemzeit_mit_Uhrzeit(jetzt, zeit, datum, Seit(angekommen) + 500us); });
}

// Only instants every build's clock takes are written (uhrbereich.h), though Windows would take more.
bool Uhr_Win32::nimmt(const std::optional<SYSTEMTIME>& zeit) {
    if (!zeit) return false;
    const auto sekunde = ortsuhr_.sekunde_utc(*zeit);
    return sekunde && Uhr_nimmt(*sekunde);
}

// SetLocalTime turns local time into UTC with the daylight-saving offset in force before the
// write, not the one of the new time. When a write crosses a change of offset, the clock ends up
// an hour off; the same write again, now under the new offset, lands where it should. Written twice
// every time, since finding out whether a write crosses a change is more work than the second call.
bool Uhr_Win32::zweimal_schreiben(const std::function<SYSTEMTIME()>& neu) {
    if (!ortsuhr_.schreiben(neu())) return false;
    ortsuhr_.schreiben(neu());
    return true;
}

}  // namespace dadaviru::win32
