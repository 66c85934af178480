#include <cerrno>

#include "platform/refused_open.h"

namespace qv {

HidapiOpenError RefusedOpenAsHidapiReportsIt() { return {EACCES, "Permission denied"}; }

}  // namespace qv
