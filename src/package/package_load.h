#pragma once

#include <filesystem>
#include <string>

#include "package/package_source.h"
#include "package/package_store.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/result.h"
#include "platform/random.h"

namespace qv {

inline constexpr const char* kPackageFileName = "QVUpdate.Bin";
inline constexpr const char* kReadmeFileName = "readme.txt";

struct PackagePaths {
  std::filesystem::path package;
  std::filesystem::path readme;
};

// "QVUpdate.Bin" and "readme.txt" in the given directory.
[[nodiscard]] PackagePaths PackagePathsIn(const std::filesystem::path& directory);

// The directory of the running executable, ending with its separator ("" when unknown).
[[nodiscard]] std::string ProgramDirectory();

// Loads, descrambles and prepares the package: measure, allocate, read, header copy and version
// record, information text with the readme, map step. Returns false after showing its message
// (a package that cannot be opened at all gives two: the measuring open's and the read's) and
// releasing the store's buffers; the caller then ends the program with exit status 1. Package
// data shorter than the 128-byte header is refused with "File size must be more than 128 bytes!"
// so that no header field is ever taken from bytes the file did not hold.
[[nodiscard]] bool LoadPackage(PackageStore& store, const PackagePaths& paths, Dialogs& dialogs,
                               Random& random, Clock& clock);

// Reads and descrambles the file into the store's image. On failure the message ("No updata
// file ,please download again !" or "Read file error !") and the file with the system's reason.
[[nodiscard]] Result<> ReadPackage(PackageStore& store, const std::filesystem::path& path);

// LoadPackage with the package bytes taken from any source (the file, memory); the readme is
// read from readme_path when it opens. Same steps, same messages.
[[nodiscard]] bool LoadPackageFrom(PackageStore& store, PackageSource& source,
                                   const std::filesystem::path& readme_path, Dialogs& dialogs,
                                   Random& random, Clock& clock);

// ReadPackage from any source. The read never runs past the store's image: a source that grew
// since it was measured fails the final length check. The image's unfilled tail is set to 0xFF.
[[nodiscard]] Result<> ReadPackageFrom(PackageStore& store, PackageSource& source);

}  // namespace qv
