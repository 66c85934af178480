#include <windows.h>

#include <algorithm>

#include "package/regular_file.h"
#include "platform/windows_files.h"

namespace qv {
namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// ReadFile counts in 32 bits.
constexpr std::size_t kLargestRead = 1u << 30;

}  // namespace

bool RegularFileReader::Open(const std::filesystem::path& path) {
  Close();
  failure_reason_.clear();
  // Backup semantics let a directory open, so that it is named as one rather than reported as
  // an access failure. Others may go on reading and writing the file, as on POSIX.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    failure_reason_ = LastErrorText();
    return false;
  }
  if (std::string refused = NotRegularFileReason(file); !refused.empty()) {
    failure_reason_ = std::move(refused);
    CloseHandle(file);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return true;
}

std::size_t RegularFileReader::Read(uint8_t* out, std::size_t size) {
  std::size_t done = 0;
  while (is_open() && done < size) {
    const auto chunk = static_cast<DWORD>(std::min(size - done, kLargestRead));
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

uint64_t RegularFileReader::Length() const {
  LARGE_INTEGER size{};
  if (!is_open() || GetFileSizeEx(AsHandle(handle_), &size) == 0 || size.QuadPart < 0) return 0;
  return static_cast<uint64_t>(size.QuadPart);
}

void RegularFileReader::Close() {
  if (is_open()) CloseHandle(AsHandle(handle_));
  handle_ = kNoFile;
}

}  // namespace qv
