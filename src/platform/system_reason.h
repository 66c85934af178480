#pragma once

// The C library's words for an errno value.

#include <string>

namespace qv {

// strerror's text for an errno value, safe to call from several threads.
[[nodiscard]] std::string SystemReason(int error_number);

}  // namespace qv
