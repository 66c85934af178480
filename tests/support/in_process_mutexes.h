#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "platform/named_mutex.h"

namespace qv::test {

// Named mutexes that live in this process only, so parallel test processes never meet.
class InProcessMutexes final : public NamedMutexSystem {
 public:
  NamedMutexResult Create(const std::string& name) override {
    std::lock_guard lock(state_->mutex);
    NamedMutexResult result;
    if (state_->held[name] > 0) {
      result.status = NamedMutexStatus::kAlreadyExists;
      return result;
    }
    ++state_->held[name];
    result.status = NamedMutexStatus::kCreated;
    result.handle = std::make_unique<Handle>(state_, name);
    return result;
  }
  // How many handles of the name are open (0 or 1).
  [[nodiscard]] int held(const std::string& name) const {
    std::lock_guard lock(state_->mutex);
    auto it = state_->held.find(name);
    return it == state_->held.end() ? 0 : it->second;
  }

 private:
  struct State {
    mutable std::mutex mutex;
    std::map<std::string, int> held;
  };
  class Handle final : public NamedMutexHandle {
   public:
    Handle(std::shared_ptr<State> state, std::string name)
        : state_(std::move(state)), name_(std::move(name)) {}
    ~Handle() override {
      std::lock_guard lock(state_->mutex);
      --state_->held[name_];
    }

   private:
    std::shared_ptr<State> state_;
    std::string name_;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace qv::test
