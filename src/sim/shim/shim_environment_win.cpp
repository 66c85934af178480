#include <windows.h>

#include <map>
#include <mutex>
#include <string>

#include "sim/shim/shim_environment.h"

namespace qv::sim::shim {
namespace {

std::wstring Wide(const char* ascii_name) {
  std::wstring wide;
  for (const char* c = ascii_name; *c != '\0'; ++c) wide.push_back(static_cast<wchar_t>(*c));
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), size,
                      nullptr, nullptr);
  return narrow;
}

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

const char* ShimEnvironment(const char* name) {
  // Each value is converted once and kept, so that the pointers handed out stay valid.
  static std::mutex mutex;
  static std::map<std::string, std::string> values;
  std::lock_guard lock(mutex);
  const auto known = values.find(name);
  if (known != values.end()) return known->second.c_str();
  std::wstring value;
  if (!ReadWide(Wide(name), value)) return nullptr;
  return values.emplace(name, Utf8(value)).first->second.c_str();
}

}  // namespace qv::sim::shim
