#include "cli/cli_number_parse.h"

#include <charconv>

namespace qv::cli {

std::optional<uint32_t> ParseUint32(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::array<uint8_t, 4>> ParseVersionTag(std::string_view text) {
  if (text.size() != 8) return std::nullopt;
  std::array<uint8_t, 4> tag{};
  for (std::size_t i = 0; i < tag.size(); ++i) {
    const char* first = text.data() + 2 * i;
    const auto [end, error] = std::from_chars(first, first + 2, tag[i], 16);
    if (error != std::errc() || end != first + 2) return std::nullopt;
  }
  return tag;
}

}  // namespace qv::cli
