#include "package/package_source.h"

#include <algorithm>
#include <cstring>

namespace qv {

std::size_t MemoryPackageSource::Read(uint8_t* out, std::size_t size) {
  const std::size_t n = std::min(size, bytes_.size() - position_);
  if (n > 0) std::memcpy(out, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

}  // namespace qv
