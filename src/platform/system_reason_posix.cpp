#include <cstring>

#include "platform/system_reason.h"

namespace qv {

std::string SystemReason(int error_number) {
  char buffer[256] = {};
  // The GNU strerror_r returns the text, which may or may not be in the buffer.
  return ::strerror_r(error_number, buffer, sizeof buffer);
}

}  // namespace qv
