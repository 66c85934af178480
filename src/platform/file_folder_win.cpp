#include <windows.h>

#include "platform/file_folder.h"
#include "platform/windows_files.h"

namespace qv {

FileFolder::~FileFolder() = default;

// Nothing is opened: each step names the folder by its path, and a folder that is not there
// shows in the first file made in it.
bool FileFolder::Open(const std::filesystem::path& path) {
  path_ = path;
  return true;
}

void FileFolder::Remove(const std::filesystem::path& name) {
  (void)DeleteFileW((path_ / name).c_str());
}

bool FileFolder::Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
  // Write-through: the call returns once the rename is on disk, as the folder's flush does on
  // POSIX.
  if (MoveFileExW((path_ / from).c_str(), (path_ / to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
    return true;
  }
  failure_reason_ = LastErrorText();
  return false;
}

// The rename was written through already.
bool FileFolder::Flush() { return true; }

}  // namespace qv
