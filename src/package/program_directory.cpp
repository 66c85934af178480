#include <mutex>

#include "package/package_load.h"
#include "platform/program_file.h"
#include "platform/utf8_path.h"

namespace qv {
namespace {

std::string ComputeProgramDirectory() {
  const std::filesystem::path file = RunningProgramFile();
  if (!file.has_parent_path()) return {};
  // Appending an empty name leaves the folder with its separator at the end.
  return Utf8FromPath(file.parent_path() / "");
}

}  // namespace

std::string ProgramDirectory() {
  // Kept once known; asked again only while it is still empty.
  static std::mutex mutex;
  static std::string directory;
  std::lock_guard lock(mutex);
  if (directory.empty()) directory = ComputeProgramDirectory();
  return directory;
}

PackagePaths PackagePathsIn(const std::filesystem::path& directory) {
  return {directory / kPackageFileName, directory / kReadmeFileName};
}

}  // namespace qv
