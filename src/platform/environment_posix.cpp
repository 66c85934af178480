#include <cstdlib>

#include "platform/environment.h"

namespace qv {

const char* EnvironmentUtf8(const char* name) { return std::getenv(name); }

}  // namespace qv
