#include "platform/windows_files.h"

#include "platform/windows_text.h"

namespace qv {

std::string NotRegularFileReason(HANDLE file) {
  switch (GetFileType(file)) {
    case FILE_TYPE_DISK:
      break;
    case FILE_TYPE_CHAR:
      return "It is a character device, not a regular file";
    case FILE_TYPE_PIPE:
      return "It is a pipe, not a regular file";
    default:
      return "It is not a regular file";
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(file, &info) == 0) return LastErrorText();
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return "It is a directory, not a regular file";
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return "It is a link (a reparse point), not a regular file";
  }
  return {};
}

std::string WriteOpenFailureText(const std::filesystem::path& path) {
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return "It is a directory, not a regular file";
  }
  return WindowsErrorText(error);
}

std::string LastErrorText() { return WindowsErrorText(GetLastError()); }

}  // namespace qv
