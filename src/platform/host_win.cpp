#include <windows.h>

#include "platform/host.h"
#include "platform/windows_text.h"

namespace qv {

std::string HostName() {
  wchar_t name[256] = {};
  DWORD size = sizeof name / sizeof name[0];
  if (GetComputerNameExW(ComputerNameDnsHostname, name, &size) == 0) return {};
  return Utf8FromWide(std::wstring_view(name, size));
}

int64_t ProcessId() { return static_cast<int64_t>(GetCurrentProcessId()); }

}  // namespace qv
