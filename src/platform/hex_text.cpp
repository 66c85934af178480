#include "platform/hex_text.h"

#include <cinttypes>
#include <cstdio>

namespace qv {

std::string HexNumber(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08" PRIx64, value);
  return text;
}

std::string HexBytes(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0xF]);
  }
  return text;
}

std::string HexUsbId(uint16_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(id));
  return text;
}

}  // namespace qv
