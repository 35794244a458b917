// UTF-8, as the portable code keeps its text, to and from the UTF-16 of the Windows API.
// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dadaviru::win32 {

// Nothing for text that is not valid UTF-8, and for text with a NUL in it: every Windows call
// such a string goes to stops at the first NUL and would quietly see a shorter text.
std::optional<std::wstring> Utf16(std::string_view utf8);

// Nothing for an unpaired surrogate, which UTF-8 cannot carry.
std::optional<std::string> Utf8(std::wstring_view utf16);

}  // namespace dadaviru::win32
