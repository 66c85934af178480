#pragma once

#include <memory>
#include <string>

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
};

// Linux: an abstract-namespace unix socket bound to the name.
NamedMutexSystem& SystemNamedMutexes();

}  // namespace qv
