#include "wizard/readme_text.h"

#include "platform/legacy_text.h"
#include "platform/utf8_sequence.h"

namespace qv {
namespace {

bool IsUtf8(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t length = Utf8SequenceLength(bytes);
    if (length == 0) return false;
    bytes.remove_prefix(length);
  }
  return true;
}

std::string Latin1AsUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text.push_back(c);
    } else {
      text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return text;
}

std::string Decode(std::string_view bytes) {
  if (IsUtf8(bytes)) return std::string(bytes);
  if (auto text = Utf8FromLegacyText(bytes)) return *std::move(text);
  return Latin1AsUtf8(bytes);
}

}  // namespace

std::string InformationTextForDisplay(std::string_view bytes) {
  const std::string text = Decode(bytes);
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      shown.push_back('\n');
    } else {
      shown.push_back(text[i]);
    }
  }
  return shown;
}

}  // namespace qv
