#include "platform/lock_holder.h"

#include "platform/named_mutex.h"

namespace qv {

std::string HolderText(const LockHolder& holder) {
  std::string text = "process " + std::to_string(holder.pid);
  if (!holder.program.empty()) text += " (" + holder.program + ")";
  return text;
}

std::string HolderDetail(NamedMutexSystem& mutexes, std::initializer_list<std::string> names) {
  for (const std::string& name : names) {
    if (const std::optional<LockHolder> holder = mutexes.Holder(name)) {
      return name + " is held by " + HolderText(*holder);
    }
  }
  return {};
}

}  // namespace qv
