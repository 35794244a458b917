// How a program calls the helper uhrsteller: the text of the instant it hands over, and the status
// the helper ends with. Both sides build on this file alone.
// SPDX-License-Identifier: MIT
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace dadaviru::posix {

// An instant (or a CLOCK_MONOTONIC reading) as the helper takes it: seconds, a point and nine
// digits of nanoseconds, nothing else.
std::string Zeitpunkt_als_text(const timespec& zeitpunkt);
// Nothing unless the text is exactly that, for an instant the kernel could take as the time.
std::optional<timespec> Zeitpunkt_aus_text(std::string_view text);

// The helper's exit status. Anything but `gesetzt` means the clock was not written.
enum Uhrsteller_Status : int {
    gesetzt = 0,
    verweigert = 1,     // the kernel refused the write
    ungueltig = 2,      // not an instant and its reading, or a reading yet to come
    ohne_recht = 3,     // CAP_SYS_TIME is not permitted to this process
    rechte_fehler = 4,  // the other capabilities could not be dropped, or CAP_SYS_TIME not raised
    kein_mitglied = 5,  // the real user is neither root nor in the group, by the database
};

}  // namespace dadaviru::posix
