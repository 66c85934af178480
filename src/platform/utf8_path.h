#pragma once

// Paths from and to the UTF-8 text the program works in. On Windows a narrow std::string given
// to std::filesystem::path is read in the ANSI code page, which cannot hold every name; going
// through char8_t converts from UTF-8 on every system and leaves a POSIX name's bytes as they
// are.

#include <filesystem>
#include <string>
#include <string_view>

namespace qv {

[[nodiscard]] inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

[[nodiscard]] inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace qv
