#include <windows.h>

#include "platform/refused_open.h"
#include "platform/windows_text.h"

namespace qv {

HidapiOpenError RefusedOpenAsHidapiReportsIt() {
  return {0, "open_device: " +
                 WindowsErrorText(ERROR_ACCESS_DENIED, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US))};
}

}  // namespace qv
