// The override file's lookup and read on Windows.
// SPDX-License-Identifier: MIT
#pragma once

#include "../plattform.h"

namespace dadaviru::win32 {

// Hidden files, system files and directories of that name count as absent; read-only files count.
class Dateien_Win32 final : public Dateien {
public:
    Dateifund Datei_suchen(std::string_view name) override;
    std::optional<std::string> Datei_lesen(const std::string& name, std::size_t hoechstens) override;
};

}  // namespace dadaviru::win32
