#include "platform/folder_listing.h"

#include <algorithm>
#include <system_error>

#include "platform/utf8_path.h"

namespace qv {

bool IsFolder(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

Result<std::vector<std::filesystem::path>> FilesInFolder(const std::filesystem::path& folder,
                                                         std::string_view suffix) {
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) return Failure{error.message()};
  std::vector<std::filesystem::path> files;
  // Stepped with an error code: a folder that fails part-way is said, never listed in part.
  for (; entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    const std::filesystem::directory_entry& entry = *entries;
    const std::string name = Utf8FromPath(entry.path().filename());
    if (name.size() < suffix.size() || !name.ends_with(suffix)) continue;
    std::error_code kind_error;
    if (!entry.is_regular_file(kind_error)) continue;
    files.push_back(entry.path());
  }
  if (error) return Failure{error.message()};
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace qv
