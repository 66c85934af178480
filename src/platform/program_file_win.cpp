#include <windows.h>

#include <string>

#include "platform/program_file.h"

namespace qv {

std::filesystem::path RunningProgramFile() {
  // A long path may not fit the first buffer; the call then fills it and says so.
  std::wstring name(MAX_PATH, L'\0');
  for (int tries = 0; tries < 6; ++tries) {
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return {};
    if (length < name.size()) {
      name.resize(length);
      return std::filesystem::path(name);
    }
    name.resize(name.size() * 2);
  }
  return {};
}

}  // namespace qv
