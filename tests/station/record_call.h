#pragma once

#include <string>

#include "platform/result.h"

namespace qv::station {

// Whether a record file call did it; its failure's message in `error` when not, so that a test
// can name the reason it expects.
template <typename T>
bool Did(const Result<T>& result, std::string& error) {
  if (!result) error = result.failure().message;
  return result.ok();
}

}  // namespace qv::station
