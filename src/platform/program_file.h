#pragma once

#include <filesystem>

namespace qv {

// The running program's own file, or an empty path where the system does not tell.
[[nodiscard]] std::filesystem::path RunningProgramFile();

}  // namespace qv
