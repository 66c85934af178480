// Windows keeps no table from a named mutex to the processes that hold it open that an
// unprivileged program may read, so the holder is not named there.

#include "platform/lock_holder.h"

namespace qv {

std::optional<LockHolder> FindLockHolder(const std::string&) { return std::nullopt; }

}  // namespace qv
