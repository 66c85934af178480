#include <cstring>

#include "platform/system_reason.h"

namespace qv {

std::string SystemReason(int error_number) {
  char buffer[256] = {};
  if (strerror_s(buffer, sizeof buffer, error_number) != 0) {
    return "error " + std::to_string(error_number);
  }
  return buffer;
}

}  // namespace qv
