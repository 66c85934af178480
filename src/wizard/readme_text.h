#pragma once

#include <string>
#include <string_view>

namespace qv {

// The welcome page's information text (the package's text and the readme's lines, as the
// loader built it) as UTF-8 for a text box: UTF-8 when the bytes are valid UTF-8, else read in
// the system's code page (Utf8FromLegacyText), else each byte as the Latin-1 character of its
// number. Every line end (CR LF, a lone CR or LF) becomes "\n"; a toolkit that wants CR LF puts
// it back.
[[nodiscard]] std::string InformationTextForDisplay(std::string_view bytes);

}  // namespace qv
