// Giving up root: a time service started by hand as root serves as an unprivileged user.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace zeitdienst {

// Started as root, becomes `benutzer` with its group and no other, for good; otherwise changes
// nothing. Returns what went wrong, empty on success. Refuses a user that is root itself.
std::string rechte_abgeben(const std::string& benutzer);

}  // namespace zeitdienst
