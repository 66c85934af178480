#pragma once

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

#include "platform/lock_holder.h"

namespace qv {

// A held system-wide named mutex; destroying it releases the name.
class NamedMutexHandle {
 public:
  virtual ~NamedMutexHandle() = default;
};

enum class NamedMutexStatus { kCreated, kAlreadyExists, kFailed };

struct NamedMutexResult {
  NamedMutexStatus status = NamedMutexStatus::kFailed;
  std::unique_ptr<NamedMutexHandle> handle;  // set only for kCreated
};

// Creates machine-wide named mutexes. The name is released by the kernel when the holding
// process dies, so a crash never leaves devices locked.
class NamedMutexSystem {
 public:
  virtual ~NamedMutexSystem() = default;
  [[nodiscard]] virtual NamedMutexResult Create(const std::string& name) = 0;
  // The process that holds the name, where the system lets this user see it.
  [[nodiscard]] virtual std::optional<LockHolder> Holder(const std::string& name) {
    (void)name;
    return std::nullopt;
  }
};

// "QV_UPDATER_RUN is held by process 1234 (qvupdate)" for the first of `names` whose holder can
// be seen; empty when none can.
[[nodiscard]] std::string HolderDetail(NamedMutexSystem& mutexes,
                                       std::initializer_list<std::string> names);

// Linux: an abstract-namespace unix socket bound to the name.
NamedMutexSystem& SystemNamedMutexes();

}  // namespace qv
