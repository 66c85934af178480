#pragma once

// The words the POSIX file sources use for what went wrong.

#include <string>

namespace qv {

// strerror's text for an errno value, safe to call from several threads.
[[nodiscard]] std::string SystemReason(int error_number);
// "a directory", "a FIFO", ... for a stat mode.
[[nodiscard]] std::string FileKindName(unsigned mode);

}  // namespace qv
