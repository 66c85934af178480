#include "cli/cli_discovery_miss.h"

#include "package/package_load.h"
#include "platform/device_access_advice.h"
#include "platform/utf8_path.h"
#include "update/update_texts.h"

namespace qv::cli {

std::string AccessAdviceForThisProgram() {
  return SystemDeviceAccessAdvice(PathFromUtf8(ProgramDirectory()));
}

void ReportDiscoveryMiss(DiscoveryMiss miss, Dialogs& dialogs, std::FILE* out) {
  switch (miss) {
    case DiscoveryMiss::kBusy:
      dialogs.ShowMessage(kDeviceBusyText);
      return;
    case DiscoveryMiss::kAccessDenied: {
      const std::string advice = AccessAdviceForThisProgram();
      std::fwrite(advice.data(), 1, advice.size(), out);
      std::fflush(out);
      return;
    }
    case DiscoveryMiss::kNone:
    case DiscoveryMiss::kNoDevice:
      break;
  }
  dialogs.ShowMessage(text::kNoDevice);
}

}  // namespace qv::cli
