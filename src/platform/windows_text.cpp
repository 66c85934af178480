#include "platform/windows_text.h"

#include <cstdio>

namespace qv {

std::wstring WideFromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int wide_size = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (wide_size <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), wide_size);
  return wide;
}

std::string Utf8FromWide(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int narrow_size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (narrow_size <= 0) return {};
  std::string narrow(static_cast<std::size_t>(narrow_size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), narrow_size, nullptr,
                      nullptr);
  return narrow;
}

std::string WindowsErrorText(DWORD error, DWORD language) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : L"";
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' ||
                           text.back() == L' ' || text.back() == L'.')) {
    text.pop_back();
  }
  if (text.empty()) {
    char fallback[32];
    std::snprintf(fallback, sizeof fallback, "Windows error %lu", static_cast<unsigned long>(error));
    return fallback;
  }
  return Utf8FromWide(text);
}

}  // namespace qv
