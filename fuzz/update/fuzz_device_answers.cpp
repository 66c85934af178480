// Device answers are outside input: a device (or something posing as one) decides what every
// input report holds, how many bytes each transfer moves, and when a transfer fails. This
// fuzzer lets the input play that device through the query with its version check, an erase
// with its read-back, set-layout and a write, and checks that nothing reads or writes outside a
// buffer and nothing loops for ever.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/device_commands.h"
#include "device/hid_link.h"
#include "fake_clock.h"
#include "platform/dialogs.h"
#include "update/progress_context.h"
#include "update/version_check.h"

namespace {

// Hands out the fuzz input byte by byte; zeros once it is used up.
class Script {
 public:
  Script(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Next() { return position_ < size_ ? data_[position_++] : 0; }
  void Fill(uint8_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i) out[i] = Next();
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// One device whose every answer comes from the script.
class ScriptedPort final : public qv::HidPort {
 public:
  ScriptedPort(Script& script, qv::Clock& clock) : script_(script), clock_(clock) {}
  bool GetAttributes(uint16_t& vendor_id, uint16_t& product_id) override {
    vendor_id = qv::kDeviceVendorId;
    product_id = qv::kDeviceProductId;
    return true;
  }
  int WriteReport(const qv::Report&) override {
    const uint8_t how = script_.Next();
    if (how == 0xFF) return -1;
    return how >= 0xF0 ? how & 0x3F : static_cast<int>(qv::kReportSize);
  }
  int ReadReport(qv::Report& report, int timeout_ms) override {
    const uint8_t how = script_.Next();
    if (how == 0xFF) return -1;
    if (how == 0xFE) {
      clock_.SleepMs(static_cast<uint32_t>(timeout_ms));
      return 0;
    }
    const int moved = how >= 0xC0 ? (how & 0x3F) + 1 : static_cast<int>(qv::kReportSize);
    report[0] = 0;
    script_.Fill(report.data() + 1, static_cast<size_t>(moved - 1));
    return moved;
  }

 private:
  Script& script_;
  qv::Clock& clock_;
};

class ScriptedBus final : public qv::HidBus {
 public:
  ScriptedBus(Script& script, qv::Clock& clock) : script_(script), clock_(clock) {}
  bool Enumerate(uint16_t, uint16_t, std::vector<qv::HidInterfaceInfo>& out) override {
    out.push_back({"fuzz:0", qv::kDeviceVendorId, qv::kDeviceProductId, "", ""});
    return true;
  }
  qv::HidOpenResult OpenWithReason(const std::string&) override {
    return {std::make_unique<ScriptedPort>(script_, clock_), qv::HidOpenFailure::kNone};
  }

 private:
  Script& script_;
  qv::Clock& clock_;
};

class LocalMutexes final : public qv::NamedMutexSystem {
 public:
  qv::NamedMutexResult Create(const std::string&) override {
    return {qv::NamedMutexStatus::kCreated, std::make_unique<qv::NamedMutexHandle>()};
  }
};

class ScriptedDialogs final : public qv::Dialogs {
 public:
  explicit ScriptedDialogs(Script& script) : script_(script) {}
  void ShowMessage(std::string_view) override {}
  bool AskYesNo(std::string_view) override { return script_.Next() & 1; }

 private:
  Script& script_;
};

class SilentProgress final : public qv::ProgressContext {
 public:
  void SetStatusText(std::string_view) override {}
  void PostProgressMessage() override {}
  void SetFlashText(std::string_view text) override { flash_text.assign(text); }
  std::string flash_text;
};

class NoHooks final : public qv::WriteHooks {
 public:
  void ProgressStep() override {}
  void TimeStep() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Script script(data, size);
  qv::test::FakeClock clock;
  ScriptedBus bus(script, clock);
  LocalMutexes mutexes;
  qv::HidLink link(bus, mutexes, clock);
  ScriptedDialogs dialogs(script);
  SilentProgress progress;

  std::array<uint8_t, 20> version_record{};
  script.Fill(version_record.data(), 14);
  if (link.Discover() == 0) return 0;
  (void)qv::QueryAndCheckVersion(link, version_record.data(), dialogs, progress);

  const uint32_t sectors = script.Next() % 4;
  (void)qv::EraseCommand(link, script.Next(), sectors);
  (void)qv::SetLayoutCommand(link, script.Next(), script.Next(), script.Next());
  std::vector<uint8_t> pages(2 * 256, 0x5A);
  NoHooks hooks;
  (void)qv::WriteCommand(link, pages.data(), script.Next(), 2, hooks);
  (void)qv::OverCommand(link);
  return 0;
}
