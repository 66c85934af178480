#include "platform/utf8_sequence.h"

#include <cstdint>

namespace qv {
namespace {

struct Decoded {
  std::size_t length = 0;
  char32_t code = 0;
};

Decoded Decode(std::string_view text) {
  if (text.empty()) return {};
  const auto at = [&](std::size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = at(0);
  if (lead < 0x80) return {1, lead};
  std::size_t length;
  uint32_t code;
  uint32_t smallest;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, smallest = 0x80, code = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, smallest = 0x800, code = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, smallest = 0x10000, code = lead & 0x07u;
  } else {
    return {};
  }
  if (text.size() < length) return {};
  for (std::size_t i = 1; i < length; ++i) {
    if ((at(i) & 0xC0u) != 0x80u) return {};
    code = (code << 6) | (at(i) & 0x3Fu);
  }
  if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {};
  return {length, static_cast<char32_t>(code)};
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text) { return Decode(text).length; }

char32_t Utf8CodePoint(std::string_view text) { return Decode(text).code; }

}  // namespace qv
