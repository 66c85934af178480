#include "platform/legacy_text.h"

#include <iconv.h>

#include <cerrno>

namespace qv {

std::optional<std::string> Utf8FromLegacyText(std::string_view bytes) {
  const iconv_t converter = iconv_open("UTF-8", "GB18030");
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  // GB18030 takes at most four bytes for a character, UTF-8 at most four for any.
  std::string text(bytes.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size();
  char* out = text.data();
  std::size_t out_left = text.size();
  bool valid = true;
  while (in_left > 0) {
    if (iconv(converter, &in, &in_left, &out, &out_left) != static_cast<std::size_t>(-1)) break;
    if (errno != E2BIG) {
      valid = false;  // an invalid or incomplete sequence
      break;
    }
    const std::size_t used = text.size() - out_left;
    text.resize(text.size() * 2);
    out = text.data() + used;
    out_left = text.size() - used;
  }
  iconv_close(converter);
  if (!valid) return std::nullopt;
  text.resize(text.size() - out_left);
  return text;
}

}  // namespace qv
