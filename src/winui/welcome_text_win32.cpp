#include "winui/welcome_text_win32.h"

#include <windows.h>

#include <optional>

namespace qv::winui {
namespace {

constexpr UINT kGb18030CodePage = 54936;
// GBK, the part of GB18030 that such files use; for systems that lack GB18030 itself.
constexpr UINT kGbkCodePage = 936;

// The text in the code page, or nothing when the bytes are not valid there.
std::optional<std::wstring> DecodeStrictly(UINT code_page, const std::string& bytes) {
  const int size = static_cast<int>(bytes.size());
  const int wide_size =
      MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (wide_size <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
  MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(),
                      wide_size);
  return wide;
}

std::wstring Decode(const std::string& bytes) {
  if (bytes.empty()) return {};
  if (auto text = DecodeStrictly(CP_UTF8, bytes)) return *text;
  // readme files of this device family are often written in the Chinese code page.
  if (auto text = DecodeStrictly(kGb18030CodePage, bytes)) return *text;
  if (auto text = DecodeStrictly(kGbkCodePage, bytes)) return *text;
  // Latin-1 takes every byte as the character with its number.
  std::wstring text;
  text.reserve(bytes.size());
  for (const char byte : bytes) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));
  return text;
}

}  // namespace

std::wstring InformationTextForDisplay(const std::string& bytes) {
  const std::wstring text = Decode(bytes);
  std::wstring shown;
  shown.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'\r') {
      if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
      shown += L"\r\n";
    } else if (c == L'\n') {
      shown += L"\r\n";
    } else {
      shown.push_back(c);
    }
  }
  return shown;
}

}  // namespace qv::winui
