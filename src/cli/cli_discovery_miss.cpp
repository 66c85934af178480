#include "cli/cli_discovery_miss.h"

#include "package/package_load.h"
#include "platform/device_access_advice.h"
#include "platform/utf8_path.h"
#include "update/update_texts.h"

namespace qv::cli {

std::string AccessAdviceForThisProgram() {
  return SystemDeviceAccessAdvice(PathFromUtf8(ProgramDirectory()));
}

}  // namespace qv::cli
