#include "package/package_load.h"

#include <algorithm>
#include <new>

#include "package/information_text.h"
#include "package/package_header.h"
#include "package/package_map.h"
#include "package/package_messages.h"

namespace qv {
namespace {

// Measures the source. A source that does not open counts as length 0: the image then holds
// just its 8192 spare bytes, and a read that succeeds on the second open is bounded by them.
uint64_t MeasurePackage(PackageSource& source, Dialogs& dialogs) {
  if (!source.Open()) {
    dialogs.ShowMessage(
        WithReason(kMsgOpenPackageFailed, FileDetail(source.Name(), source.FailureReason())));
    return 0;
  }
  const uint64_t length = source.Length();
  source.Close();
  return length;
}

bool Fail(PackageStore& store, Dialogs& dialogs, const char* message) {
  if (message != nullptr) dialogs.ShowMessage(message);
  store.Release();
  return false;
}

}  // namespace

bool LoadPackageFrom(PackageStore& store, PackageSource& source,
                     const std::filesystem::path& readme_path, Dialogs& dialogs, Random& random,
                     Clock& clock) {
  const uint64_t length = MeasurePackage(source, dialogs);
  if (store.image) return Fail(store, dialogs, kMsgImageAlreadyHeld);
  if (length > kMaxPackageLength) return Fail(store, dialogs, kMsgFileTooLarge);
  const auto image_size = static_cast<uint32_t>(length + kBufferSlack);
  store.image.reset(new (std::nothrow) uint8_t[image_size]);
  if (!store.image) return Fail(store, dialogs, kMsgImageAlreadyHeld);
  store.image_size = image_size;

  if (const Result<> read = ReadPackageFrom(store, source); !read) {
    dialogs.ShowMessage(WithReason(read.failure().message.c_str(), read.failure().detail));
    return Fail(store, dialogs, nullptr);
  }
  // Data shorter than the header would leave header fields that never came from the file.
  if (store.data_length < kHeaderSize) return Fail(store, dialogs, kMsgSizeTooSmall);

  std::copy_n(store.image.get(), kHeaderSize, store.header_copy.begin());
  store.version_record = BuildVersionRecord(store.header_copy);
  store.information_text = BuildInformationText(readme_path);

  if (!RunMapStep(store, dialogs, random, clock)) return Fail(store, dialogs, nullptr);
  return true;
}

bool LoadPackage(PackageStore& store, const PackagePaths& paths, Dialogs& dialogs, Random& random,
                 Clock& clock) {
  FilePackageSource source(paths.package);
  return LoadPackageFrom(store, source, paths.readme, dialogs, random, clock);
}

}  // namespace qv
