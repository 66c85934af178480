#pragma once

// Text between Windows' UTF-16 and the UTF-8 the rest of the program uses, and the system's
// own words for an error code. Only the Windows sources include this.

#include <windows.h>

#include <string>
#include <string_view>

namespace qv {

[[nodiscard]] std::wstring WideFromUtf8(std::string_view text);
[[nodiscard]] std::string Utf8FromWide(std::wstring_view text);

// The system's message for a GetLastError() code, without its trailing line break and period,
// in the given language (0: the system's choice).
[[nodiscard]] std::string WindowsErrorText(DWORD error, DWORD language = 0);

}  // namespace qv
