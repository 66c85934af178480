#include <windows.h>

#include <algorithm>

#include "package/package_file_writer.h"
#include "platform/utf8_path.h"
#include "platform/windows_files.h"
#include "platform/windows_text.h"

namespace qv {
namespace {

// A handle closed once, at the end of its scope.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  [[nodiscard]] HANDLE get() const { return handle_; }
  [[nodiscard]] bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Closes now; false when the close failed.
  bool Close() {
    if (!valid()) return true;
    const bool closed = CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

// "" when path may be replaced: absent, or a regular file. A link (reparse point) is looked at
// itself, never followed.
std::string CheckReplaceable(const std::filesystem::path& path) {
  FileHandle existing(CreateFileW(path.c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
  if (!existing.valid()) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return {};
    return "cannot check " + Utf8FromPath(path) + ": " + WindowsErrorText(error);
  }
  const std::string refused = NotRegularFileReason(existing.get());
  if (refused.empty()) return {};
  // "It is a directory, not a regular file" as "<path> is a directory, not a regular file".
  return Utf8FromPath(path) + " is" + refused.substr(std::string("It is").size()) +
         ": it is left as it is";
}

// Writes all bytes, then flushes them to disk; false with the system's reason on failure.
bool FillAndFlush(HANDLE file, std::span<const uint8_t> bytes, std::string& reason) {
  while (!bytes.empty()) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (WriteFile(file, bytes.data(), chunk, &written, nullptr) == 0 || written == 0) {
      reason = LastErrorText();
      return false;
    }
    bytes = bytes.subspan(written);
  }
  if (FlushFileBuffers(file) == 0) {
    reason = LastErrorText();
    return false;
  }
  return true;
}

// Creates a new file under the first free name in the folder; its handle, or an invalid one
// with the message set.
HANDLE CreateTemporary(const std::filesystem::path& folder, const std::string& output_name,
                       TemporaryNameSource& names, std::filesystem::path& temporary,
                       std::string& message) {
  for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
    temporary = folder / PathFromUtf8(names.Next(output_name));
    // CREATE_NEW refuses any existing name, a link included; no one else may open it meanwhile.
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      message = "cannot create a file in the folder of the output: " + WindowsErrorText(error);
      return INVALID_HANDLE_VALUE;
    }
  }
  message = "cannot create a file in the folder of the output: " +
            std::to_string(kTemporaryNameTries) + " names tried were all taken";
  return INVALID_HANDLE_VALUE;
}

}  // namespace

std::string WritePackageFile(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                             TemporaryNameSource& names) {
  const std::string output_name = Utf8FromPath(path.filename());
  if (output_name.empty() || output_name == "." || output_name == "..") {
    return Utf8FromPath(path) + " names a folder, not a file";
  }
  if (std::string refused = CheckReplaceable(path); !refused.empty()) return refused;

  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  std::filesystem::path temporary;
  std::string message;
  FileHandle file(CreateTemporary(folder, output_name, names, temporary, message));
  if (!file.valid()) return message;

  const auto discard = [&](const std::string& failure) {
    file.Close();
    (void)DeleteFileW(temporary.c_str());
    return failure;
  };
  std::string reason;
  if (!FillAndFlush(file.get(), bytes, reason)) {
    return discard("cannot write " + Utf8FromPath(path) + ": " + reason);
  }
  if (!file.Close()) return discard("cannot write " + Utf8FromPath(path) + ": " + LastErrorText());
  // Checked again right before the rename: something may have been put at path meanwhile.
  if (std::string refused = CheckReplaceable(path); !refused.empty()) return discard(refused);
  // Write-through: the call returns once the rename is on disk, as the folder's flush does on
  // POSIX.
  if (MoveFileExW(temporary.c_str(), path.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    return discard("cannot replace " + Utf8FromPath(path) + ": " + LastErrorText());
  }
  return {};
}

}  // namespace qv
