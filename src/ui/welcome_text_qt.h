#pragma once

#include <QString>
#include <string>

namespace qv {

// The package's information text as the welcome page shows it: decoded (UTF-8 when the bytes
// are valid UTF-8, else GB18030 where the platform has it, else Latin-1) and with "\r\n" and
// lone "\r" line ends turned into "\n".
[[nodiscard]] QString InformationTextForDisplay(const std::string& bytes);

}  // namespace qv
