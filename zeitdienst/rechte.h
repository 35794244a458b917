// Giving up root and every capability: a time service started by hand as root, or with capabilities
// to take a low port, serves as an unprivileged user without any.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace zeitdienst {

// Started as root, becomes `benutzer` with its group and no other, for good, and gives it the file
// `datei` (unless -1); started as anyone else, stays who it is. Either way it ends up with no
// capability: none effective, permitted, inheritable or ambient. Returns what went wrong, empty on
// success. Refuses a user that is root itself. Called while the process has one thread: capabilities
// belong to a thread.
std::string rechte_abgeben(const std::string& benutzer, int datei);

}  // namespace zeitdienst
