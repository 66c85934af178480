#include <system_error>

#include "platform/program_file.h"

namespace qv {

std::filesystem::path RunningProgramFile() {
  std::error_code error;
  std::filesystem::path file = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return file;
}

}  // namespace qv
