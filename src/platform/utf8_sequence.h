#pragma once

#include <cstddef>
#include <string_view>

namespace qv {

// The length of the valid UTF-8 sequence at the start of `text`: 1 for ASCII, 2 to 4 for a
// shortest-form sequence of a code point up to U+10FFFF that is no surrogate; 0 when the text
// is empty or starts with no such sequence.
[[nodiscard]] std::size_t Utf8SequenceLength(std::string_view text);

// The code point of the valid sequence at the start of `text` (call only when
// Utf8SequenceLength is not 0).
[[nodiscard]] char32_t Utf8CodePoint(std::string_view text);

}  // namespace qv
