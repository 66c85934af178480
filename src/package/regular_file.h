#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace qv {

// A file opened for reading only when it is a regular file. Outside input decides what lies at
// a path: a FIFO or a device node would block the open or never end a read, and a directory
// cannot be read, so none of them is opened as a file. A symlink to a regular file is followed
// as the user asked for it by name. The descriptor is closed with the object.
class RegularFileReader {
 public:
  RegularFileReader() = default;
  ~RegularFileReader() { Close(); }
  RegularFileReader(const RegularFileReader&) = delete;
  RegularFileReader& operator=(const RegularFileReader&) = delete;

  // Opens without blocking and checks what was opened; false with failure_reason() set when it
  // is missing, not readable for this user, or not a regular file.
  [[nodiscard]] bool Open(const std::filesystem::path& path);
  // Reads up to size bytes; fewer only at the end of the file or on an error, which then sets
  // failure_reason().
  [[nodiscard]] std::size_t Read(uint8_t* out, std::size_t size);
  // The file's length as the open file reports it; 0 when nothing is open.
  [[nodiscard]] uint64_t Length() const;
  void Close();

  [[nodiscard]] bool is_open() const { return handle_ != kNoFile; }
  // Why the last open or read failed, in the system's words ("" when nothing failed).
  [[nodiscard]] const std::string& failure_reason() const { return failure_reason_; }

 private:
  // A descriptor on POSIX, a HANDLE on Windows; -1 is "none" on both.
  static constexpr std::intptr_t kNoFile = -1;
  std::intptr_t handle_ = kNoFile;
  std::string failure_reason_;
};

}  // namespace qv
