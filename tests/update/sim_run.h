#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "device/hid_link.h"
#include "fake_clock.h"
#include "package/package_store.h"
#include "platform/named_mutex.h"
#include "platform/random.h"
#include "recording_dialogs.h"
#include "recording_progress.h"
#include "sim/sim_bus.h"
#include "update/update_run.h"

namespace qv::test {

// Named mutexes held in this process only.
class InProcessMutexes final : public NamedMutexSystem {
 public:
  NamedMutexResult Create(const std::string& name) override {
    std::lock_guard lock(state_->mutex);
    NamedMutexResult result;
    if (!state_->held.insert(name).second) {
      result.status = NamedMutexStatus::kAlreadyExists;
      return result;
    }
    result.status = NamedMutexStatus::kCreated;
    result.handle = std::make_unique<Handle>(state_, name);
    return result;
  }
  [[nodiscard]] bool Held(const std::string& name) const {
    std::lock_guard lock(state_->mutex);
    return state_->held.count(name) != 0;
  }

 private:
  struct State {
    mutable std::mutex mutex;
    std::set<std::string> held;
  };
  class Handle final : public NamedMutexHandle {
   public:
    Handle(std::shared_ptr<State> state, std::string name)
        : state_(std::move(state)), name_(std::move(name)) {}
    ~Handle() override {
      std::lock_guard lock(state_->mutex);
      state_->held.erase(name_);
    }

   private:
    std::shared_ptr<State> state_;
    std::string name_;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Hides every device from the enumerations numbered first..last (1-based), counting every
// enumeration made through this bus.
class HidingBus final : public HidBus {
 public:
  explicit HidingBus(HidBus& inner) : inner_(inner) {}
  void HideEnumerations(uint32_t first, uint32_t last) {
    first_ = first;
    last_ = last;
  }
  bool Enumerate(uint16_t vendor_id, uint16_t product_id,
                 std::vector<HidInterfaceInfo>& out) override {
    const uint32_t number = ++count_;
    const bool ok = inner_.Enumerate(vendor_id, product_id, out);
    if (number >= first_ && number <= last_) out.clear();
    return ok;
  }
  std::unique_ptr<HidPort> Open(const std::string& path) override { return inner_.Open(path); }

 private:
  HidBus& inner_;
  std::atomic<uint32_t> count_{0};
  uint32_t first_ = 0;
  uint32_t last_ = 0;
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

  RunResult Run(ProgressContext& progress, bool continuous = false) {
    UpdateEnvironment env{link, store, dialogs, clock, random, continuous};
    return RunUpdate(env, progress);
  }
  RunResult Run(bool continuous = false) {
    RecordingProgress progress;
    return Run(progress, continuous);
  }
  // The device is free again: not held by the link, the named mutex gone.
  [[nodiscard]] bool Released() const {
    return !link.Connected() && !mutexes.Held(kDeviceMutexName);
  }
};

}  // namespace qv::test
