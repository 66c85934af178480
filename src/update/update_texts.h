#pragma once

// The texts the update procedure shows, exactly as users and support documents know them
// (the spelling is part of the product and is kept as it stands).

#include <string>

namespace qv::text {

// Update run.
inline constexpr const char* kResetFailed =
    "Send reset command faile,please connect usb cable to device !";
inline constexpr const char* kPleaseWait = "To updata ,please wait...";
inline constexpr const char* kReconnectFailed =
    "Connect to device faile,please connect usb cable to device !";
inline constexpr const char* kTryAgain = "Updata faile ,please try again !";
// The list of attached devices could not be read at all; the system's reason follows.
inline constexpr const char* kCannotListDevices = "The list of attached devices cannot be read";
inline std::string CannotListDevices(const std::string& reason) {
  return std::string(kCannotListDevices) + (reason.empty() ? "." : ": " + reason);
}
inline constexpr const char* kEraseCheckCodeFailed =
    "Erase check code faile,please connect usb cable to device";
inline constexpr const char* kWriteCheckCodeFailed =
    "Write check code faile,please connect usb cable to device";
inline constexpr const char* kEraseInfoFailed =
    "Erase file faile,please connect usb cable to device";
inline constexpr const char* kWriteInfoFailed =
    "Write file faile,please connect usb cable to device";
inline constexpr const char* kOverFailed = "Send over command faile !";

// Area programming.
inline constexpr const char* kErasing = "Erase old data ,please wait ...";
inline constexpr const char* kEraseMapFailed =
    "Erase data faile ,please connect usb cable to device !";
inline constexpr const char* kWriteMapFailed =
    "Write data faile, please connect usb cable to device !";
inline constexpr const char* kEraseSoundFailed =
    "Erase updata file faile ,please connect usb cable to device !";
inline constexpr const char* kWriteSoundFailed =
    "Write updata file faile ,please connect usb cable to device !";
inline constexpr const char* kProgramFailed = "Updata faile ,please connect usb cable to device !";
inline constexpr const char* kUpdatePrefix = "Update:";

// Layout problems found before anything is erased: two areas would share a flash sector (a
// later erase would wipe an area already written), or an area runs past the flash window or
// past the package data.
inline constexpr const char* kAreasOverlap = "Areas overlap in FLASH, the update file is damaged !";
inline constexpr const char* kAreaOutside =
    "Area exceed FLASH space or file data, the update file is damaged !";

// Version check.
inline constexpr const char* kSameVersionQuestion =
    "It's the latest version, Do you continue to updata ?";
inline constexpr const char* kFlashPrefix = "Flash:";

// Outcome lines of the front ends.
inline constexpr const char* kSuccess = "Updata success !";
inline constexpr const char* kFailure = "Updata faile,please connect usb cable to device !";
inline constexpr const char* kNoDevice = "No device, please connect usb cable to device !";
// Continuous mode, between two devices.
inline constexpr const char* kNextDevicePrompt =
    "If you need to continue, please connect the USB cable to the new machine !";

}  // namespace qv::text
