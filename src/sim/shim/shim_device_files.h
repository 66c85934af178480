#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/sim_device_observer.h"

namespace qv::sim::shim {

// Writes one device's trace (<dir>/<name>.trace: every report in hex, "> " host to device,
// "< " device to host) and event log (<dir>/<name>.events: commands, faults, presence), each
// line stamped with the milliseconds since the stand-in started, flushed line by line so a
// test can read them while the program runs. Also notes when an over or reset asks for the
// flash image to be saved.
class ShimDeviceFiles final : public SimDeviceObserver {
 public:
  ShimDeviceFiles(Clock& clock, uint32_t start_tick, const std::string& dir,
                  const std::string& name);
  ~ShimDeviceFiles() override;
  ShimDeviceFiles(const ShimDeviceFiles&) = delete;
  ShimDeviceFiles& operator=(const ShimDeviceFiles&) = delete;

  void OnReport(Direction direction, const uint8_t* bytes, std::size_t size) override;
  void OnEvent(const std::string& text) override;
  void OnCommand(const SimCommand& command) override;

  // True once after each over or reset.
  [[nodiscard]] bool TakeSaveRequest() { return save_requested_.exchange(false); }

 private:
  void Stamp(std::FILE* file);

  Clock& clock_;
  const uint32_t start_tick_;
  std::FILE* trace_ = nullptr;
  std::FILE* events_ = nullptr;
  std::atomic<bool> save_requested_{false};
};

// Writes the flash image to <dir>/<name>.flash through a temporary file and a rename, so that a
// reader never sees half an image. False when it cannot be written.
[[nodiscard]] bool SaveFlashImage(const std::string& dir, const std::string& name,
                                  const std::vector<uint8_t>& image);

}  // namespace qv::sim::shim
