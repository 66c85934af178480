#include <windows.h>

#include "platform/path_kind.h"
#include "platform/windows_files.h"
#include "platform/windows_text.h"

namespace qv {

PathKind LookAtPath(const std::filesystem::path& path) {
  // No access asked for: the file's kind and identity show even when others hold it open
  // without sharing. A link is opened as itself, a folder with backup semantics.
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return {.is = PathKind::Is::kAbsent};
    return {.is = PathKind::Is::kUnknown, .reason = WindowsErrorText(error)};
  }
  PathKind kind;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(file, &info) != 0) {
    kind.identity = FileIdentity{
        info.dwVolumeSerialNumber,
        (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  }
  kind.reason = NotRegularFileReason(file);
  kind.is = kind.reason.empty() ? PathKind::Is::kRegularFile : PathKind::Is::kOther;
  CloseHandle(file);
  return kind;
}

}  // namespace qv
