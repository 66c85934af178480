#include "station/visible_text.h"

#include <cstdint>
#include <cstdio>

namespace qv::station {
namespace {

void AppendEscaped(std::string& out, uint8_t byte) {
  char code[5];
  std::snprintf(code, sizeof code, "\\x%02X", byte);
  out += code;
}

// The length of the valid UTF-8 sequence at the start of `text` (shortest form, no surrogates,
// up to U+10FFFF); 0 when there is none.
std::size_t Utf8Length(std::string_view text) {
  const auto at = [&](std::size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = at(0);
  std::size_t length;
  uint32_t code;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((at(i) & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (at(i) & 0x3Fu);
  }
  const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  if (code >= 0x80 && code <= 0x9F) return 0;  // C1 controls: shown escaped, byte by byte
  return length;
}

}  // namespace

std::string VisibleText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const auto byte = static_cast<uint8_t>(text.front());
    std::size_t taken = 1;
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      out += static_cast<char>(byte);
    } else if (byte >= 0x80 && (taken = Utf8Length(text)) != 0) {
      out.append(text.substr(0, taken));
    } else {
      taken = 1;
      AppendEscaped(out, byte);
    }
    text.remove_prefix(taken);
  }
  return out;
}

}  // namespace qv::station
