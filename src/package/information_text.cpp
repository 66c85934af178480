#include "package/information_text.h"

#include <cstdint>
#include <vector>

#include "platform/regular_file.h"

namespace qv {
namespace {

struct ReadmeBytes {
  std::string kept;
  uint64_t left_out = 0;
};

// Where a readme cut at the bound ends: after its last whole line, or, for a single line longer
// than the bound, before a character that the cut would split (UTF-8 continuation bytes and the
// lead byte they follow), so the kept text still decodes as it was written.
std::size_t CutPoint(std::string_view bytes) {
  const std::size_t last_lf = bytes.rfind('\n');
  if (last_lf != std::string_view::npos) return last_lf + 1;
  std::size_t end = bytes.size();
  for (int steps = 0; steps < 4 && end > 0; ++steps) {
    const auto byte = static_cast<unsigned char>(bytes[end - 1]);
    if (byte < 0x80) break;
    --end;
    if (byte >= 0xC0) break;  // the lead byte of the split character
  }
  return end;
}

// Reads the readme up to the bound, plus one byte to learn whether there is more.
bool ReadBoundedReadme(const std::filesystem::path& path, ReadmeBytes& out) {
  RegularFile file;
  if (!file.Open(path)) return false;
  std::vector<uint8_t> buffer(kReadmeReadLimit + 1);
  const std::size_t n = file.Read(buffer.data(), buffer.size());
  const uint64_t length = file.Length();
  std::string_view bytes(reinterpret_cast<const char*>(buffer.data()), n);
  if (n <= kReadmeReadLimit) {
    out.kept.assign(bytes);
    return true;
  }
  out.kept.assign(bytes.substr(0, CutPoint(bytes.substr(0, kReadmeReadLimit))));
  // The file may grow while it is read; what is left out is at least the one byte seen past the
  // bound.
  out.left_out = length > out.kept.size() ? length - out.kept.size() : n - out.kept.size();
  return true;
}

}  // namespace

void AppendReadmeLines(std::string_view bytes, std::string& text) {
  while (!bytes.empty()) {
    const std::size_t lf = bytes.find('\n');
    std::string_view line = bytes.substr(0, lf);
    // Only a CR right before the LF belongs to the line end; a last line without LF keeps it.
    if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    text += line;
    text += "\r\n";
    bytes.remove_prefix(lf == std::string_view::npos ? bytes.size() : lf + 1);
  }
}

std::string ReadmeLeftOutLine(uint64_t left_out_bytes) {
  return "[readme.txt is longer than " + std::to_string(kReadmeReadLimit >> 20) +
         " MiB: the remaining " + std::to_string(left_out_bytes) + " bytes are not shown]";
}

std::string BuildInformationText(const std::filesystem::path& readme_path) {
  std::string text = "\r\n";
  text += "\r\n\r\n";
  ReadmeBytes readme;
  if (!ReadBoundedReadme(readme_path, readme)) return text;
  AppendReadmeLines(readme.kept, text);
  if (readme.left_out > 0) text += ReadmeLeftOutLine(readme.left_out) + "\r\n";
  return text;
}

}  // namespace qv
