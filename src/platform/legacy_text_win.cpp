#include "platform/legacy_text.h"

#include <windows.h>

#include "platform/windows_text.h"

namespace qv {

std::optional<std::string> Utf8FromLegacyText(std::string_view bytes) {
  if (bytes.empty()) return std::string();
  const int size = static_cast<int>(bytes.size());
  const int wide_size =
      MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (wide_size <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), wide_size);
  return Utf8FromWide(wide);
}

}  // namespace qv
