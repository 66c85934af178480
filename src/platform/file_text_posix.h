#pragma once

// The words the POSIX file sources use for a file's kind.

#include <string>

namespace qv {

// "a directory", "a FIFO", ... for a stat mode.
[[nodiscard]] std::string FileKindName(unsigned mode);
// "It is a FIFO, not a regular file", ... for a stat mode.
[[nodiscard]] std::string NotRegularFileText(unsigned mode);

}  // namespace qv
