#include "platform/byte_sum.h"

namespace qv {

uint32_t ByteSumChecksum(const uint8_t* data, std::size_t size) {
  uint32_t sum = 0;
  for (std::size_t i = 0; i < size; ++i) sum += data[i];
  return sum ^ kByteSumXor;
}

}  // namespace qv
