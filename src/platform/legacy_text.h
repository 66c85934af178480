#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qv {

// Text files that are not UTF-8 were written in the system's own code page: on Windows the ANSI
// code page a program reads a text file in; on Linux, where the system's locale is UTF-8, the
// Chinese GB18030 that this device family's files are written in. The bytes as UTF-8, or
// nothing when they are not valid in that code page.
[[nodiscard]] std::optional<std::string> Utf8FromLegacyText(std::string_view bytes);

}  // namespace qv
