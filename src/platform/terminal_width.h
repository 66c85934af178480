#pragma once

#include <cstdio>

namespace qv {

// The width in columns of the terminal that `stream` writes to; 0 when it writes to no
// terminal or the system does not say.
[[nodiscard]] int TerminalWidth(std::FILE* stream);

}  // namespace qv
