#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "package/package_builder.h"
#include "package/package_load.h"
#include "package/package_source.h"
#include "platform/clock.h"
#include "platform/random.h"
#include "recording_dialogs.h"

namespace qv::bench {

// Builds a package of the given areas and loads it into the store as the programs do (no
// readme). False, with the reason on stderr, when either step fails.
inline bool BuildAndLoadPackage(const BuildInput& input, PackageStore& store, Clock& clock) {
  RuntimeRandom random;
  std::vector<uint8_t> file;
  std::string error;
  if (BuildPackage(input, random, file, error) != BuildStatus::kOk) {
    std::fprintf(stderr, "package: %s\n", error.c_str());
    return false;
  }
  MemoryPackageSource source(file);
  test::RecordingDialogs dialogs;
  return LoadPackageFrom(store, source, "/nonexistent/readme.txt", dialogs, random, clock);
}

}  // namespace qv::bench
