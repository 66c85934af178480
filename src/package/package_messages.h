#pragma once

#include <string>

namespace qv {

// The package subsystem's message texts, shown to the user exactly as they stand.
inline constexpr const char* kMsgOpenPackageFailed = "Open updata file faile !";
inline constexpr const char* kMsgImageAlreadyHeld = "Allocate memory faile !";
inline constexpr const char* kMsgFileTooLarge = "File is too large, please confirm !";
inline constexpr const char* kMsgNoPackageFile = "No updata file ,please download again !";
inline constexpr const char* kMsgReadFileError = "Read file error !";

inline constexpr const char* kMsgSizeBeyondFlash = "File size beyand FLASH space";
inline constexpr const char* kMsgSizeTooSmall = "File size must be more than 128 bytes!";
inline constexpr const char* kMsgAlignment = "File format error, must be alignment 256 bytes !";
inline constexpr const char* kMsgProgramParameter = "Read program paramater faile !";
inline constexpr const char* kMsgSoundParameter = "Read sound paramater faile !";
inline constexpr const char* kMsgMapParameter = "Read map paramater faile !";
inline constexpr const char* kMsgAddress = "Read address file faile !";
inline constexpr const char* kMsgProgramRequired = "Must updata program file !";
inline constexpr const char* kMsgCheckData = "Check data faile !";

inline constexpr const char* kMsgMapInformation = "Read file information faile !";
inline constexpr const char* kMsgMapExceedsFlash = "Map file size exceed FLASH space !";
inline constexpr const char* kMsgMapAlreadyHeld = "Allocate memory faile, please try again !";

// A message followed by a detail (the file and the system's reason) on a line of its own, so the
// message itself stays exactly as it stands; just the message when there is no detail to give.
[[nodiscard]] inline std::string WithReason(const char* message, const std::string& detail) {
  return detail.empty() ? std::string(message) : std::string(message) + "\n" + detail;
}

// The detail line under a file message: "PATH: reason", or the reason alone for a source
// without a name. Empty when there is no reason to give.
[[nodiscard]] inline std::string FileDetail(const std::string& name, const std::string& reason) {
  if (reason.empty()) return {};
  return name.empty() ? reason : name + ": " + reason;
}

}  // namespace qv
