// The override file's lookup and read on POSIX systems.
// SPDX-License-Identifier: MIT
#pragma once

#include "../plattform.h"

namespace dadaviru::posix {

class Dateien_Posix final : public Dateien {
public:
    Dateifund Datei_suchen(std::string_view name) override;
    std::optional<std::string> Datei_lesen(const std::string& name, std::size_t hoechstens) override;
};

}  // namespace dadaviru::posix
