#pragma once

#include <string>
#include <string_view>

namespace qv::station {

// A text from outside (a device's serial number, say) as it may be put on a terminal: control
// characters (C0, DEL and C1, escape sequences' introducers among them), bytes that are no
// valid UTF-8 and the backslash are shown as \xNN, so the text cannot move the cursor, recolour
// or retitle the terminal, and two different texts never look the same. Printable UTF-8 is kept.
[[nodiscard]] std::string VisibleText(std::string_view text);

// A text on one line: line breaks become spaces.
[[nodiscard]] std::string OneLine(std::string_view text);

}  // namespace qv::station
