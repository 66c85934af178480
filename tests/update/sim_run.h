#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/hid_link.h"
#include "fake_clock.h"
#include "in_process_mutexes.h"
#include "package/package_store.h"
#include "platform/named_mutex.h"
#include "platform/random.h"
#include "recording_dialogs.h"
#include "recording_progress.h"
#include "sim/sim_bus.h"
#include "update/update_run.h"

namespace qv::test {

// Hides every device from the enumerations numbered first..last (1-based), counting every
// enumeration made through this bus, and runs a test's action (plugging, replacing) just before
// a given enumeration: the run's first discovery is enumeration 1, reconnect attempt k is k + 1.
class HidingBus final : public HidBus {
 public:
  explicit HidingBus(HidBus& inner) : inner_(inner) {}
  void HideEnumerations(uint32_t first, uint32_t last) {
    first_ = first;
    last_ = last;
  }
  void BeforeEnumeration(uint32_t number, std::function<void()> action) {
    action_number_ = number;
    action_ = std::move(action);
  }
  bool Enumerate(uint16_t vendor_id, uint16_t product_id,
                 std::vector<HidInterfaceInfo>& out) override {
    const uint32_t number = ++count_;
    if (number == action_number_ && action_) action_();
    const bool ok = inner_.Enumerate(vendor_id, product_id, out);
    if (number >= first_ && number <= last_) out.clear();
    return ok;
  }
  HidOpenResult OpenWithReason(const std::string& path) override {
    return inner_.OpenWithReason(path);
  }

 private:
  HidBus& inner_;
  std::atomic<uint32_t> count_{0};
  uint32_t first_ = 0;
  uint32_t last_ = 0;
  uint32_t action_number_ = 0;
  std::function<void()> action_;
};

// One simulated bus, one link and one loaded package: everything an update run needs.
struct SimRun {
  FakeClock clock;
  sim::SimBus sim_bus{clock};
  HidingBus bus{sim_bus};
  InProcessMutexes mutexes;
  HidLink link{bus, mutexes, clock};
  PackageStore store;
  RecordingDialogs dialogs;
  RuntimeRandom random;
  RunDevices devices;  // the entries the last run took

  RunResult Run(ProgressContext& progress, bool continuous = false) {
    devices = {};
    UpdateEnvironment env{link, store, dialogs, clock, random, continuous, nullptr, &devices};
    return RunUpdate(env, progress);
  }
  RunResult Run(bool continuous = false) {
    RecordingProgress progress;
    return Run(progress, continuous);
  }
  // The device is free again: not held by the link, the named mutex gone.
  [[nodiscard]] bool Released() const {
    return !link.Connected() && mutexes.held(kDeviceMutexName) == 0;
  }
};

}  // namespace qv::test
