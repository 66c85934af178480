#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "platform/file_folder.h"
#include "platform/regular_file.h"
#include "platform/system_reason.h"
#include "platform/windows_files.h"
#include "platform/windows_text.h"

namespace qv {
namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// ReadFile and WriteFile count in 32 bits.
constexpr std::size_t kLargestTransfer = 1u << 30;

DWORD Access(const FileOpenMode& mode) {
  if (!mode.write) return GENERIC_READ;
  return mode.append_only ? FILE_APPEND_DATA : GENERIC_WRITE;
}

DWORD Sharing(FileSharing sharing) {
  switch (sharing) {
    case FileSharing::kReadWrite:
      return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    case FileSharing::kRead:
      return FILE_SHARE_READ | FILE_SHARE_DELETE;
    case FileSharing::kNone:
      return 0;
  }
  return 0;
}

DWORD Disposition(FileCreation creation) {
  switch (creation) {
    case FileCreation::kNever:
      return OPEN_EXISTING;
    case FileCreation::kIfAbsent:
      return OPEN_ALWAYS;
    case FileCreation::kNew:
      return CREATE_NEW;
  }
  return OPEN_EXISTING;
}

// Reading: backup semantics let a directory open, so that it is named as one rather than
// reported as an access failure. Writing: a link planted at the path is opened as itself and
// then refused, so it redirects nothing.
DWORD Flags(const FileOpenMode& mode) {
  if (!mode.write) return FILE_FLAG_BACKUP_SEMANTICS;
  return FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
}

FileOpenFailure FailureOf(DWORD error) {
  if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return FileOpenFailure::kExists;
  if (error == ERROR_SHARING_VIOLATION) return FileOpenFailure::kInUse;
  return FileOpenFailure::kOther;
}

}  // namespace

bool RegularFile::Open(const std::filesystem::path& path, const FileOpenMode& mode,
                       const FileFolder* folder) {
  (void)Close();
  failure_reason_.clear();
  open_failure_ = FileOpenFailure::kNone;
  identity_ = {};
  owned_by_this_user_ = true;
  const std::filesystem::path full = folder != nullptr ? folder->path() / path : path;
  HANDLE file = CreateFileW(full.c_str(), Access(mode), Sharing(mode.sharing), nullptr,
                            Disposition(mode.creation), Flags(mode), nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    open_failure_ = FailureOf(error);
    failure_reason_ = mode.write ? WriteOpenFailureText(full) : WindowsErrorText(error);
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  failure_reason_ = NotRegularFileReason(file);
  if (failure_reason_.empty() && GetFileInformationByHandle(file, &info) == 0) {
    failure_reason_ = LastErrorText();
  }
  if (!failure_reason_.empty()) {
    open_failure_ = FileOpenFailure::kOther;
    CloseHandle(file);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  identity_ = {info.dwVolumeSerialNumber,
               (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  // The file's owner is not compared with the user (owned_by_this_user_ stays true): on Windows
  // the file's access list decides who may write it, and a file made by an administrator is
  // owned by the Administrators group rather than by the user who made it, so the owner would
  // refuse files that are the user's own.
  return true;
}

std::size_t RegularFile::Read(uint8_t* out, std::size_t size) {
  std::size_t done = 0;
  while (is_open() && done < size) {
    const auto chunk = static_cast<DWORD>(std::min(size - done, kLargestTransfer));
    DWORD got = 0;
    if (ReadFile(AsHandle(handle_), out + done, chunk, &got, nullptr) == 0) {
      failure_reason_ = LastErrorText();
      break;
    }
    if (got == 0) break;  // end of file
    done += got;
  }
  return done;
}

bool RegularFile::WriteOnce(std::span<const uint8_t> bytes, std::size_t& written) {
  written = 0;
  const HANDLE file = AsHandle(handle_);
  LARGE_INTEGER end{};
  if (GetFileSizeEx(file, &end) == 0) {
    failure_reason_ = LastErrorText();
    return false;
  }
  // At the end as the file is now: under a FileAppendLock no other writer moves it meanwhile.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<uint64_t>(end.QuadPart) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(end.QuadPart) >> 32);
  const auto chunk = static_cast<DWORD>(std::min(bytes.size(), kLargestTransfer));
  DWORD moved = 0;
  const bool wrote = WriteFile(file, bytes.data(), chunk, &moved, &at) != 0;
  written = moved;
  if (!wrote) failure_reason_ = LastErrorText();
  return wrote;
}

bool RegularFile::WriteAll(std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    std::size_t written = 0;
    if (!WriteOnce(bytes, written)) return false;
    if (written == 0) {
      failure_reason_ = LastErrorText();
      return false;
    }
    bytes = bytes.subspan(written);
  }
  return true;
}

bool RegularFile::Size(uint64_t& size) {
  LARGE_INTEGER length{};
  if (GetFileSizeEx(AsHandle(handle_), &length) == 0) {
    failure_reason_ = LastErrorText();
    return false;
  }
  size = length.QuadPart < 0 ? 0 : static_cast<uint64_t>(length.QuadPart);
  return true;
}

uint64_t RegularFile::Length() const {
  LARGE_INTEGER size{};
  if (!is_open() || GetFileSizeEx(AsHandle(handle_), &size) == 0 || size.QuadPart < 0) return 0;
  return static_cast<uint64_t>(size.QuadPart);
}

bool RegularFile::CutTo(uint64_t length) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  if (SetFileInformationByHandle(AsHandle(handle_), FileEndOfFileInfo, &end, sizeof end) != 0) {
    return true;
  }
  failure_reason_ = LastErrorText();
  return false;
}

bool RegularFile::Flush() {
  if (FlushFileBuffers(AsHandle(handle_)) != 0) return true;
  failure_reason_ = LastErrorText();
  return false;
}

bool RegularFile::Close() {
  if (!is_open()) return true;
  const bool closed = CloseHandle(AsHandle(handle_)) != 0;
  handle_ = kNoFile;
  if (!closed) failure_reason_ = LastErrorText();
  return closed;
}

std::FILE* RegularFile::ReleaseToStream() {
  // The C runtime takes the handle over: closing the stream closes it. Binary, so that the bytes
  // are the same as on other systems.
  const int fd = _open_osfhandle(handle_, _O_APPEND | _O_BINARY);
  if (fd < 0) {
    failure_reason_ = SystemReason(errno);
    (void)Close();
    return nullptr;
  }
  handle_ = kNoFile;
  std::FILE* stream = _fdopen(fd, "ab");
  if (stream == nullptr) {
    failure_reason_ = SystemReason(errno);
    _close(fd);
  }
  return stream;
}

namespace {

// The byte every writer appending to one file locks: far past any end the file will reach, so
// that the lock never stops a reader of what was written.
OVERLAPPED AppendLockByte() {
  OVERLAPPED at{};
  at.Offset = 0xFFFFFFFEu;
  at.OffsetHigh = 0x7FFFFFFFu;
  return at;
}

}  // namespace

FileAppendLock::FileAppendLock(const RegularFile& file) : handle_(file.handle_) {
  OVERLAPPED at = AppendLockByte();
  locked_ = LockFileEx(AsHandle(handle_), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) != 0;
}

FileAppendLock::~FileAppendLock() {
  OVERLAPPED at = AppendLockByte();
  if (locked_) UnlockFileEx(AsHandle(handle_), 0, 1, 0, &at);
}

}  // namespace qv
