#pragma once

#include <string>
#include <string_view>

namespace qv::sim::shim {

// UTF-8 as hidapi's wide strings: UTF-16 with surrogate pairs where wchar_t has 16 bits
// (Windows), UTF-32 where it has 32 (Linux), so that a character outside the Basic
// Multilingual Plane survives either way. A byte sequence that is not UTF-8 (a stray or missing
// continuation byte, an overlong form, a surrogate, a value past U+10FFFF) becomes U+FFFD.
[[nodiscard]] std::wstring WideFromUtf8(std::string_view text);

}  // namespace qv::sim::shim
