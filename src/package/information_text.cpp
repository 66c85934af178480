#include "package/information_text.h"

#include <fstream>

namespace qv {

void AppendReadmeLines(std::istream& in, std::string& text) {
  std::string line;
  while (std::getline(in, line)) {
    // Only a CR right before the LF belongs to the line end; a last line without LF keeps it.
    const bool ended_by_lf = !in.eof();
    if (ended_by_lf && !line.empty() && line.back() == '\r') line.pop_back();
    text += line;
    text += "\r\n";
  }
}

std::string BuildInformationText(const std::filesystem::path& readme_path) {
  std::string text = "\r\n";
  text += "\r\n\r\n";
  std::ifstream readme(readme_path);
  if (readme.is_open()) AppendReadmeLines(readme, text);
  return text;
}

}  // namespace qv
