#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace qv {

// How much of the readme the information text takes. The welcome page's box shows a few
// screens of it; a readme of a mebibyte already holds some 15,000 lines of 70 characters, and
// the bound keeps a huge or endless file from swelling the memory and the start of the program.
inline constexpr std::size_t kReadmeReadLimit = std::size_t{1} << 20;

// The welcome text: "\r\n" and "\r\n\r\n", then every line of the readme followed by "\r\n".
// A readme that does not open as a regular file adds nothing. Of a readme longer than
// kReadmeReadLimit the lines within the bound are taken, and a last line says how much was left
// out.
[[nodiscard]] std::string BuildInformationText(const std::filesystem::path& readme_path);

// Appends every line of the bytes with its line end (LF or CR LF) replaced by "\r\n"; a last
// line without a line end counts as a line.
void AppendReadmeLines(std::string_view bytes, std::string& text);

// The line that stands for the part of the readme that was not read.
[[nodiscard]] std::string ReadmeLeftOutLine(uint64_t left_out_bytes);

}  // namespace qv
