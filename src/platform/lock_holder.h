#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qv {

// A process that holds one of the updater's machine-wide locks.
struct LockHolder {
  int64_t pid = 0;
  std::string program;  // empty when the system does not let this user read it
};

// The process other than this one that holds the named mutex `name`, where the system lets this
// user find it: nothing when no other process holds it or its holder cannot be seen (another
// user's process, say).
[[nodiscard]] std::optional<LockHolder> FindLockHolder(const std::string& name);

// "process 1234 (qvupdate)", or "process 1234" without a program name.
[[nodiscard]] std::string HolderText(const LockHolder& holder);

}  // namespace qv
