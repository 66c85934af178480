#include <windows.h>

#include <cerrno>

#include "sim/shim/shim_open_refusal.h"

namespace qv::sim::shim {
namespace {

// The system's text for an error code in the given language; empty when it has none.
std::wstring SystemMessage(DWORD code, DWORD language) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, language, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length != 0 && text != nullptr ? std::wstring(text, length) : L"";
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n')) {
    message.pop_back();
  }
  return message;
}

}  // namespace

std::wstring RefuseOpenAsTheSystemDoes() {
  std::wstring message =
      SystemMessage(ERROR_ACCESS_DENIED, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (message.empty()) message = SystemMessage(ERROR_ACCESS_DENIED, 0);
  errno = 0;
  return L"open_device: " + message;
}

}  // namespace qv::sim::shim
