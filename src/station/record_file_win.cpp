#include <windows.h>

#include "platform/utf8_path.h"
#include "platform/windows_files.h"
#include "station/record_file.h"

namespace qv::station {
namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// The byte every station appending to one record locks: far past any end the file will reach,
// so that the lock never stops a reader of the lines.
OVERLAPPED AppendLockByte() {
  OVERLAPPED at{};
  at.Offset = 0xFFFFFFFEu;
  at.OffsetHigh = 0x7FFFFFFFu;
  return at;
}

// Holds the lock that stations appending to one record share, so that the length a failed line
// is cut back to is the length before that very line.
class AppendLock {
 public:
  explicit AppendLock(HANDLE file) : file_(file), at_(AppendLockByte()) {
    locked_ = LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at_) != 0;
  }
  ~AppendLock() {
    if (locked_) UnlockFileEx(file_, 0, 1, 0, &at_);
  }
  AppendLock(const AppendLock&) = delete;
  AppendLock& operator=(const AppendLock&) = delete;

 private:
  HANDLE file_;
  OVERLAPPED at_;
  bool locked_ = false;
};

bool CutBackTo(HANDLE file, LARGE_INTEGER length) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile = length;
  return SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end) != 0;
}

}  // namespace

RecordFile::~RecordFile() {
  if (is_open()) CloseHandle(AsHandle(handle_));
}

bool RecordFile::Open(const std::string& path, std::string& error) {
  // Opened for writing at an offset of its own choosing (the end, under the lock); others may
  // read it and other stations append to it meanwhile. A link planted at the record's path is
  // opened as itself and refused, so it redirects nothing.
  const std::filesystem::path file_path = PathFromUtf8(path);
  HANDLE file = CreateFileW(file_path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = WriteOpenFailureText(file_path);
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  error = NotRegularFileReason(file);
  if (error.empty() && GetFileInformationByHandle(file, &info) == 0) error = LastErrorText();
  if (!error.empty()) {
    CloseHandle(file);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  identity_ = {info.dwVolumeSerialNumber,
               (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  return true;
}

bool RecordFile::Append(const UnitRecord& record, std::string& error) {
  return AppendLine(UnitRecordLine(record), error);
}

bool RecordFile::AppendLine(const std::string& line, std::string& error) {
  const HANDLE file = AsHandle(handle_);
  AppendLock lock(file);
  LARGE_INTEGER before{};
  if (GetFileSizeEx(file, &before) == 0) {
    error = LastErrorText();
    return false;
  }
  // One write at the end: a short write is never continued, so no line is ever split between
  // two writes; it is cut off again instead.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<uint64_t>(before.QuadPart) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(before.QuadPart) >> 32);
  DWORD written = 0;
  const bool wrote =
      WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, &at) != 0;
  if (!wrote || written != line.size()) {
    error = !wrote ? LastErrorText() : "short write (disk full?)";
    if (written > 0 && !CutBackTo(file, before)) {
      error += "; the cut line could not be removed: " + LastErrorText();
    }
    return false;
  }
  if (FlushFileBuffers(file) == 0) {
    error = LastErrorText();
    return false;
  }
  return true;
}

}  // namespace qv::station
