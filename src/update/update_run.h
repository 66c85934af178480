#pragma once

#include <optional>
#include <string>

#include "device/hid_link.h"
#include "package/package_store.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/random.h"
#include "update/progress_context.h"
#include "update/version_check.h"

namespace qv {

enum class RunResult {
  kFailed = 0,
  kSucceeded = 1,
  // The user declined to re-install the version the device already runs. Nothing was written;
  // the device has been released. The caller releases the package buffers and ends the
  // program with exit status 1.
  kDeclined = 2,
};

// Which entries a run took: at its start, and when the device came back from its reset (in
// its update mode, where it may report another serial number or none).
struct RunDevices {
  std::optional<HidInterfaceInfo> first;
  std::optional<HidInterfaceInfo> after_reset;
};

// Everything one update run works with.
struct UpdateEnvironment {
  HidLink& link;
  const PackageStore& store;  // only read: runs on several devices share it
  Dialogs& dialogs;
  Clock& clock;
  Random& random;
  bool continuous_mode = false;  // no over command in continuous mode
  QueryAnswer* answer = nullptr;  // when given, receives the device's answer to the query
  RunDevices* devices = nullptr;  // when given, receives the entries the run took
  // When given, receives the message the run showed for its failure (empty when it showed none).
  std::string* failure_message = nullptr;
};

// The whole update of one device, from discovery to release.
[[nodiscard]] RunResult RunUpdate(UpdateEnvironment& env, ProgressContext& progress);

}  // namespace qv
