#include "station/hashing_package_source.h"

namespace qv::station {

bool HashingPackageSource::Open() {
  hash_.Reset();
  return inner_.Open();
}

std::size_t HashingPackageSource::Read(uint8_t* out, std::size_t size) {
  const std::size_t n = inner_.Read(out, size);
  hash_.Update(out, n);
  return n;
}

}  // namespace qv::station
