#include <mutex>
#include <system_error>

#include "package/package_load.h"

namespace qv {
namespace {

std::string ComputeProgramDirectory() {
  std::error_code error;
  const std::string path = std::filesystem::read_symlink("/proc/self/exe", error).string();
  if (error) return {};
  const auto separator = path.rfind('/');
  if (separator == std::string::npos) return {};
  return path.substr(0, separator + 1);
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
