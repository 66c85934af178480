#pragma once

#include <cstdint>
#include <string>

// The station's own texts (the runs' texts are in update/update_texts.h).
namespace qv::station::text {

inline constexpr const char* kStopping = "stopping after this device; Ctrl-C again to abort it";
inline constexpr const char* kWaitingForDevice = "Waiting for a device ...";
inline constexpr const char* kWaitingForOtherProcess =
    "Another updater process is using the devices; waiting for it to end.";
inline constexpr const char* kDeviceBusy =
    "The device is in use by another updater process (it holds QV_UPDATER); wait until that "
    "one has finished.";
inline constexpr const char* kCannotOpenRecord = "Cannot open the record file";
inline constexpr const char* kUnexpectedSha256 =
    "The package is not the one expected: its SHA-256 differs";
inline constexpr const char* kCannotOpenTrace = "Cannot open the trace file";
// The same, naming the lock that other process actually holds.
inline std::string DeviceBusy(const std::string& lock) {
  return "The device is in use by another updater process (it holds " + lock +
         "); wait until that one has finished.";
}
// After an abort; its detail names the device and the area, then kUpdateAgain.
inline constexpr const char* kStoppedByUser = "The update was stopped at the user's request.";
inline constexpr const char* kUpdateAgain = "the device must be updated again before use";
inline constexpr const char* kCannotWriteRecord = "Cannot write the record";
inline constexpr const char* kRecordStopsStation =
    "The record cannot be kept: no further device is started; the devices in progress finish.";
// "The device <label> failed <n> times in a row; unplug it to go on."
inline constexpr const char* kGaveUpBefore = "The device ";
inline constexpr const char* kGaveUpMiddle = " failed ";
inline constexpr const char* kGaveUpAfter = " times in a row; unplug it to go on.";

// The trace's writer could not keep up with the devices, which did not wait for it.
inline std::string TraceFellBehind(uint64_t reports) {
  return "The trace could not keep up: " + std::to_string(reports) +
         " reports are not in it (the devices did not wait for it)";
}
inline constexpr const char* kDeclinedSameVersion =
    "The device already runs the package's version; it was not updated again.";
inline constexpr const char* kDevicesListedAgain = "The list of attached devices can be read again.";
// A run whose device never answered on the interface it took.
inline std::string UnansweredInterface(const std::string& path) {
  return "The device did not answer on its interface " + path +
         ". A device with several interfaces may speak the update protocol on another one: "
         "choose it with --device PATH (qvupdate devices lists them).";
}
// Entries that nothing tells apart are left alone; the others go on.
inline std::string IndistinctLeftAlone(const std::string& identity) {
  return "left alone: the devices with " + identity + "; the others go on";
}

}  // namespace qv::station::text
