#pragma once

#include <filesystem>
#include <istream>
#include <string>

namespace qv {

// The welcome text: "\r\n" and "\r\n\r\n", then every line of the readme followed by "\r\n".
// A readme that does not open adds nothing.
[[nodiscard]] std::string BuildInformationText(const std::filesystem::path& readme_path);

// Appends every line of the stream with its line end (LF or CR LF) replaced by "\r\n"; a last
// line without a line end counts as a line.
void AppendReadmeLines(std::istream& in, std::string& text);

}  // namespace qv
