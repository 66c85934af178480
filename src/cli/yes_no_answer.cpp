#include "cli/yes_no_answer.h"

#include <cctype>
#include <string>

namespace qv::cli {

std::optional<bool> YesNoTyped(std::string_view typed) {
  std::string lowered(typed);
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lowered == "y" || lowered == "yes") return true;
  if (lowered == "n" || lowered == "no") return false;
  return std::nullopt;
}

}  // namespace qv::cli
