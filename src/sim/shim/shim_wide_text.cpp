#include "sim/shim/shim_wide_text.h"

#include <cstddef>
#include <cstdint>

namespace qv::sim::shim {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Decodes the character starting at text[at] and moves `at` past it (past one byte only when
// that byte starts no valid character).
char32_t DecodeOne(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at++]);
  if (lead < 0x80) return lead;
  std::size_t extra = 0;
  char32_t value = 0;
  char32_t smallest = 0;  // below this the form is overlong
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    value = lead & 0x1F;
    smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    value = lead & 0x0F;
    smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    value = lead & 0x07;
    smallest = 0x10000;
  } else {
    return kReplacement;
  }
  if (text.size() - at < extra) return kReplacement;
  for (std::size_t i = 0; i < extra; ++i) {
    if (!IsContinuation(static_cast<unsigned char>(text[at + i]))) return kReplacement;
  }
  for (std::size_t i = 0; i < extra; ++i) {
    value = (value << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
  }
  at += extra;
  const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
  if (value < smallest || surrogate || value > 0x10FFFF) return kReplacement;
  return value;
}

void AppendWide(char32_t code_point, std::wstring& out) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (code_point >= 0x10000) {
      const char32_t offset = code_point - 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (offset >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (offset & 0x3FF)));
      return;
    }
  }
  out.push_back(static_cast<wchar_t>(code_point));
}

}  // namespace

std::wstring WideFromUtf8(std::string_view text) {
  std::wstring wide;
  std::size_t at = 0;
  while (at < text.size()) AppendWide(DecodeOne(text, at), wide);
  return wide;
}

}  // namespace qv::sim::shim
