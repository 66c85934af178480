#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "package/package_builder.h"
#include "package/package_load.h"
#include "package/package_source.h"
#include "platform/clock.h"
#include "platform/named_mutex.h"
#include "platform/random.h"
#include "recording_dialogs.h"

namespace qv::bench {

// Builds a package of the given areas and loads it into the store as the programs do (no
// readme). False, with the reason on stderr, when either step fails.
inline bool BuildAndLoadPackage(const BuildInput& input, PackageStore& store, Clock& clock) {
  RuntimeRandom random;
  const Result<std::vector<uint8_t>> built = BuildPackage(input, random);
  if (!built) {
    std::fprintf(stderr, "package: %s\n", built.failure().message.c_str());
    return false;
  }
  MemoryPackageSource source(*built);
  test::RecordingDialogs dialogs;
  return LoadPackageFrom(store, source, "/nonexistent/readme.txt", dialogs, random, clock);
}

// Named locks that are always free: a benchmark measures the device work, not the system's locks.
class FreeMutexes final : public NamedMutexSystem {
 public:
  NamedMutexResult Create(const std::string&) override {
    NamedMutexResult result;
    result.status = NamedMutexStatus::kCreated;
    result.handle = std::make_unique<NamedMutexHandle>();
    return result;
  }
};

// The stations' package: program 192 KiB and sound 64 KiB, about 4200 reports and 66 sector
// erases per device.
inline bool LoadStationPackage(PackageStore& store, Clock& clock) {
  BuildInput input;
  const uint32_t lengths[2] = {0x30000, 0x10000};
  const uint32_t addresses[2] = {0x40010000, 0x40100000};
  for (int i = 0; i < 2; ++i) {
    input.areas[i].present = true;
    input.areas[i].data.resize(lengths[i]);
    for (uint32_t b = 0; b < lengths[i]; ++b) {
      input.areas[i].data[b] = static_cast<uint8_t>(b * 7 + i);
    }
    input.areas[i].address = addresses[i];
    input.areas[i].version_tag = {static_cast<uint8_t>('A' + i), 1, 2, 3};
  }
  return BuildAndLoadPackage(input, store, clock);
}

}  // namespace qv::bench
