#pragma once

#include <optional>
#include <string_view>

namespace qv::cli {

// What a person typed at a yes/no prompt: true for "y" or "yes", false for "n" or "no" (in any
// case), nothing for anything else (the prompt is asked again).
[[nodiscard]] std::optional<bool> YesNoTyped(std::string_view typed);

}  // namespace qv::cli
