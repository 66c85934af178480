#include "device/run_lock.h"

#include <utility>

namespace qv {

bool RunLock::Acquire() {
  std::lock_guard lock(mutex_);
  if (holders_ == 0) {
    NamedMutexResult result = mutexes_.Create(kRunMutexName);
    if (result.status == NamedMutexStatus::kAlreadyExists) return false;
    handle_ = std::move(result.handle);  // null when the name could not be created
  }
  ++holders_;
  return true;
}

void RunLock::Release() {
  std::lock_guard lock(mutex_);
  if (holders_ == 0) return;
  if (--holders_ == 0) handle_.reset();
}

bool RunLock::HeldElsewhere() {
  std::lock_guard lock(mutex_);
  if (holders_ > 0) return false;
  // Trying the name is the only way to ask; a name created here is let go again at once.
  return mutexes_.Create(kRunMutexName).status == NamedMutexStatus::kAlreadyExists;
}

}  // namespace qv
