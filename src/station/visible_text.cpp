#include "station/visible_text.h"

#include <cstdint>
#include <cstdio>

#include "platform/utf8_sequence.h"

namespace qv::station {
namespace {

void AppendEscaped(std::string& out, uint8_t byte) {
  char code[5];
  std::snprintf(code, sizeof code, "\\x%02X", byte);
  out += code;
}

// A printable UTF-8 sequence at the start of `text`: its length, or 0. C1 controls are valid
// UTF-8 but are shown escaped, byte by byte.
std::size_t PrintableUtf8Length(std::string_view text) {
  const std::size_t length = Utf8SequenceLength(text);
  if (length < 2) return 0;
  const char32_t code = Utf8CodePoint(text);
  return code >= 0x80 && code <= 0x9F ? 0 : length;
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
    } else if (byte >= 0x80 && (taken = PrintableUtf8Length(text)) != 0) {
      out.append(text.substr(0, taken));
    } else {
      taken = 1;
      AppendEscaped(out, byte);
    }
    text.remove_prefix(taken);
  }
  return out;
}

std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return line;
}

}  // namespace qv::station
