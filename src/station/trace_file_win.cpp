#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/utf8_path.h"
#include "platform/windows_files.h"
#include "station/trace_file.h"

namespace qv::station {
namespace {

HANDLE OpenForAppending(const std::filesystem::path& path, DWORD disposition) {
  // A link planted at the path is opened as itself and then refused.
  return CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                     disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber,
          (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

// Whether the path names the record: the record is open for writing and the trace shares no
// writing, so the trace's own open fails with a sharing violation there. A handle without any
// access still shows the file's identity.
bool IsTheRecord(const std::filesystem::path& path, const FileIdentity& record) {
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool same = GetFileInformationByHandle(file, &info) != 0 && IdentityOf(info) == record;
  CloseHandle(file);
  return same;
}

}  // namespace

// Unlike on POSIX, the file's owner is not compared with the user: on Windows the file's access
// list decides who may write it, and a file made by an administrator is owned by the
// Administrators group rather than by the user who made it, so the owner would refuse files
// that are the user's own.
std::FILE* OpenTraceFile(const std::string& path, const std::optional<FileIdentity>& record,
                         std::string& error) {
  const std::filesystem::path file_path = PathFromUtf8(path);
  HANDLE file = OpenForAppending(file_path, CREATE_NEW);
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
    file = OpenForAppending(file_path, OPEN_EXISTING);
  }
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD failure = GetLastError();
    error = WriteOpenFailureText(file_path);
    if (failure == ERROR_SHARING_VIOLATION && record && IsTheRecord(file_path, *record)) {
      error = kTraceIsRecord;
    }
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  error = NotRegularFileReason(file);
  if (error.empty() && GetFileInformationByHandle(file, &info) == 0) error = LastErrorText();
  if (error.empty() && record && *record == IdentityOf(info)) {
    error = kTraceIsRecord;
  }
  if (!error.empty()) {
    CloseHandle(file);
    return nullptr;
  }
  // The C runtime takes the handle over: closing the stream closes it. Binary, so that the
  // trace's bytes are the same as on other systems.
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_APPEND | _O_BINARY);
  if (fd < 0) {
    error = "cannot use the trace file";
    CloseHandle(file);
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, "ab");
  if (stream == nullptr) {
    error = "cannot use the trace file";
    _close(fd);
  }
  return stream;
}

}  // namespace qv::station
