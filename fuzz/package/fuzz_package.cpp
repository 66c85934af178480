// Feeds arbitrary bytes to the loader as a package file, then runs the update-time checks in
// the order the update procedure uses them.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "package/package_checks.h"
#include "package/package_load.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/random.h"

namespace {

class SilentDialogs final : public qv::Dialogs {
 public:
  void ShowMessage(std::string_view) override {}
  [[nodiscard]] bool AskYesNo(std::string_view) override { return false; }
};

class FixedClock final : public qv::Clock {
 public:
  [[nodiscard]] uint32_t TickMs() override { return 12345; }
  void SleepMs(uint32_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilentDialogs dialogs;
  FixedClock clock;
  qv::RuntimeRandom random;
  qv::PackageStore store;
  qv::MemoryPackageSource source(std::span<const uint8_t>(data, size));
  if (!qv::LoadPackageFrom(store, source, {}, dialogs, random, clock)) return 0;
  if (!qv::ValidatePackage(store)) return 0;
  qv::AreaResults results;
  qv::ComputeAreaSums(store, results);
  (void)qv::VerifyCheckBytes(store);
  return 0;
}
