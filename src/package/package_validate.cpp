#include <algorithm>

#include "package/package_checks.h"
#include "package/package_messages.h"

namespace qv {
namespace {

constexpr const char* kParameterMessages[kAreaCount] = {kMsgProgramParameter, kMsgSoundParameter,
                                                        kMsgMapParameter};

Failure Fail(const char* message) { return Failure{message}; }

}  // namespace

Result<> ValidatePackage(const PackageStore& store) {
  const uint32_t d = store.data_length;
  if (d > kMaxPackageLength) return Fail(kMsgSizeBeyondFlash);
  if (d <= kHeaderSize) return Fail(kMsgSizeTooSmall);
  if (((d - kHeaderSize) & 0xFFu) != 0) return Fail(kMsgAlignment);
  // A store whose image does not hold its data is not a loaded package.
  if (!store.image || store.image_size < d) return Fail(kMsgSizeTooSmall);
  // The header as the image holds it is judged; the store is only read, so that runs on
  // several devices may share one loaded package.
  std::array<uint8_t, kHeaderSize> header;
  std::copy_n(store.image.get(), kHeaderSize, header.begin());

  std::array<AreaDescriptor, kAreaCount> areas;
  for (int i = 0; i < kAreaCount; ++i) {
    areas[i] = ReadAreaDescriptor(header, static_cast<AreaIndex>(i));
    if (!areas[i].present()) continue;
    // Besides the length limit, every byte of a present area must come from the package data.
    const uint64_t end = uint64_t{areas[i].offset} + areas[i].length;
    if (areas[i].length > kMaxPackageLength || end > d) {
      return Fail(kParameterMessages[i]);
    }
  }

  const uint32_t p = areas[kProgramArea].address;
  const uint32_t s = areas[kSoundArea].address;
  const uint32_t m = areas[kMapArea].address;
  if (p >= s || s >= m || p < kLowestAreaAddress || m >= kFlashWindowEnd) {
    return Fail(kMsgAddress);
  }
  if (!areas[kProgramArea].present()) return Fail(kMsgProgramRequired);
  return {};
}

}  // namespace qv
