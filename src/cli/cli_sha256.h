#pragma once

#include <filesystem>
#include <string>

namespace qv::cli {

// The SHA-256 of a file's bytes as 64 lower-case hex digits; empty when the file cannot be read.
[[nodiscard]] std::string FileSha256(const std::filesystem::path& path);

}  // namespace qv::cli
