#pragma once

// A folder that files are made in, renamed in and removed from. On POSIX it is held open, so
// every step acts in the same folder even when its path is changed meanwhile, and its names can
// be flushed to the disk; on Windows it is named by its path at each step, and a rename is
// written through to the disk before it returns.

#include <cstdint>
#include <filesystem>
#include <string>

namespace qv {

class FileFolder {
 public:
  FileFolder() = default;
  ~FileFolder();
  FileFolder(const FileFolder&) = delete;
  FileFolder& operator=(const FileFolder&) = delete;

  // False with failure_reason() when the folder cannot be opened.
  [[nodiscard]] bool Open(const std::filesystem::path& path);
  // Removes the file named name, if it is there; a failure is not reported.
  void Remove(const std::filesystem::path& name);
  // Renames from to to, replacing what is at to; false with failure_reason().
  [[nodiscard]] bool Rename(const std::filesystem::path& from, const std::filesystem::path& to);
  // Flushes the folder's names to the disk; false with failure_reason().
  [[nodiscard]] bool Flush();

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  [[nodiscard]] const std::string& failure_reason() const { return failure_reason_; }

 private:
  friend class RegularFile;
  std::filesystem::path path_;
  // The folder's descriptor on POSIX; unused (-1) on Windows.
  std::intptr_t handle_ = -1;
  std::string failure_reason_;
};

}  // namespace qv
