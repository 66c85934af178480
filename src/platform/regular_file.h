#pragma once

// A file used only when it is a regular file on a disk. What lies at a path is outside input: a
// FIFO or a device node would block the open or never end a read, a directory cannot be read or
// written as a file, and a link planted at a path that is written would redirect the writing.
// So the open never blocks, and what it opened is checked before it is used.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>

#include "platform/file_identity.h"

namespace qv {

class FileFolder;

// When an open makes a new file.
enum class FileCreation {
  kNever,     // the file must exist
  kIfAbsent,  // made when absent, kept as it is (never truncated) when present
  kNew,       // made new; any existing name, a link included, fails with FileOpenFailure::kExists
};

// What others may do with the file while it is open here. Windows enforces it; POSIX has no such
// sharing and ignores it.
enum class FileSharing {
  kReadWrite,  // read, write and delete it
  kRead,       // read and delete it, but not write it
  kNone,       // nothing
};

struct FileOpenMode {
  // false: an existing file is read, and a symbolic link is followed, as the user named the file
  // by it. true: the file is written, and a link at the path is refused, never followed.
  bool write = false;
  FileCreation creation = FileCreation::kNever;
  FileSharing sharing = FileSharing::kReadWrite;
  // The handle may only add at the end of the file (Windows gives it no right to write
  // elsewhere; on POSIX every write of this class goes to the end anyway).
  bool append_only = false;
  // A new file may be read and written by everyone the user's umask allows, as the files a user
  // saves are; otherwise only its owner writes it. POSIX only: on Windows a new file takes its
  // folder's access list.
  bool new_file_open_to_umask = false;
};

// Why an open failed, where a caller acts on it.
enum class FileOpenFailure {
  kNone,
  kExists,  // FileCreation::kNew found the name taken
  kInUse,   // another handle's sharing refused this open (Windows only)
  kOther,
};

class RegularFile {
 public:
  RegularFile() = default;
  ~RegularFile() { (void)Close(); }
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  // Opens path (a name in folder when one is given) without blocking, and keeps it open only when
  // it is a regular file. False with failure_reason() set when it is missing, not open to this
  // user, or no regular file ("It is a FIFO, not a regular file", ...). By default it is opened
  // for reading.
  [[nodiscard]] bool Open(const std::filesystem::path& path, const FileOpenMode& mode = {},
                          const FileFolder* folder = nullptr);

  // Reads up to size bytes; fewer only at the end of the file or on an error, which then sets
  // failure_reason().
  [[nodiscard]] std::size_t Read(uint8_t* out, std::size_t size);
  // One write at the end of the file, never continued: `written` is how many bytes went, fewer
  // than given when the disk is full. False with failure_reason() when the write failed; some
  // bytes may have gone even then.
  [[nodiscard]] bool WriteOnce(std::span<const uint8_t> bytes, std::size_t& written);
  // Writes every byte, at the end of the file; false with failure_reason() when one would not go.
  [[nodiscard]] bool WriteAll(std::span<const uint8_t> bytes);
  // The file's length as the open file reports it; false with failure_reason() on a failure.
  [[nodiscard]] bool Size(uint64_t& size);
  // The length, 0 when nothing is open or the system cannot say.
  [[nodiscard]] uint64_t Length() const;
  // Cuts the file back to length bytes; false with failure_reason().
  [[nodiscard]] bool CutTo(uint64_t length);
  // Flushes what was written to the disk; false with failure_reason().
  [[nodiscard]] bool Flush();
  // Closes now; false with failure_reason() when the close failed (what was written may be lost).
  bool Close();

  // Whether the user this program runs as owns the file.
  [[nodiscard]] bool OwnedByThisUser() const { return owned_by_this_user_; }
  // Hands the open file over to a C stream that appends, in binary; the stream closes it. Null
  // with failure_reason() set (and the file closed) when the stream could not be made.
  [[nodiscard]] std::FILE* ReleaseToStream();

  [[nodiscard]] bool is_open() const { return handle_ != kNoFile; }
  [[nodiscard]] FileIdentity identity() const { return identity_; }
  // Why the last step failed, in the system's words ("" after an open that succeeded).
  [[nodiscard]] const std::string& failure_reason() const { return failure_reason_; }
  [[nodiscard]] FileOpenFailure open_failure() const { return open_failure_; }

 private:
  friend class FileAppendLock;
  // A descriptor on POSIX, a HANDLE on Windows; -1 is "none" on both.
  static constexpr std::intptr_t kNoFile = -1;
  std::intptr_t handle_ = kNoFile;
  FileIdentity identity_;
  bool owned_by_this_user_ = true;
  std::string failure_reason_;
  FileOpenFailure open_failure_ = FileOpenFailure::kNone;
};

// Holds, for its lifetime, the exclusive lock that every writer appending to one file takes, so
// that the length one writer reads stays the file's length until it lets go (other processes
// included). Waits for the lock; a file the lock cannot be taken on is written without it.
class FileAppendLock {
 public:
  explicit FileAppendLock(const RegularFile& file);
  ~FileAppendLock();
  FileAppendLock(const FileAppendLock&) = delete;
  FileAppendLock& operator=(const FileAppendLock&) = delete;

 private:
  std::intptr_t handle_;
  bool locked_ = false;
};

}  // namespace qv
