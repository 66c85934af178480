#include <windows.h>

#include <map>
#include <mutex>
#include <string>

#include "platform/environment.h"
#include "platform/windows_text.h"

namespace qv {
namespace {

// The variable's wide value; false when it is not set.
bool ReadWide(const std::wstring& name, std::wstring& value) {
  // The size asked for counts the terminating NUL, so a set but empty variable gives 1.
  const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (size == 0) return false;
  value.assign(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), size);
  if (length >= size) return false;  // it grew in between: taken as unset
  value.resize(length);
  return true;
}

}  // namespace

const char* EnvironmentUtf8(const char* name) {
  // Each value is converted once and kept, so that the pointers handed out stay valid.
  static std::mutex mutex;
  static std::map<std::string, std::string> values;
  std::lock_guard lock(mutex);
  const auto known = values.find(name);
  if (known != values.end()) return known->second.c_str();
  std::wstring value;
  if (!ReadWide(WideFromUtf8(name), value)) return nullptr;
  return values.emplace(name, Utf8FromWide(value)).first->second.c_str();
}

}  // namespace qv
