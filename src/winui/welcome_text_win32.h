#pragma once

#include <string>

namespace qv::winui {

// The package's information text as the welcome page's edit box shows it: decoded (UTF-8 when
// the bytes are valid UTF-8, else the Chinese code page GB18030 where the system has it, or its
// part GBK where it has only that, else Latin-1) and with every line end ("\n", "\r\n" or a lone "\r") as "\r\n", the only one a
// multi-line edit box breaks lines at.
[[nodiscard]] std::wstring InformationTextForDisplay(const std::string& bytes);

}  // namespace qv::winui
