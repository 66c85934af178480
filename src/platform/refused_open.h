#pragma once

#include <string>

namespace qv {

// What a failed hid_open_path leaves behind: errno (hidraw sets it) and hidapi's own error text
// (Windows' hidapi reports through it and leaves errno alone).
struct HidapiOpenError {
  int error_number = 0;
  std::string hidapi_text;  // UTF-8; empty when hidapi gave none
};

// What this system's hidapi leaves behind when the system refuses an open for lack of rights:
//   POSIX (hidraw): errno EACCES, "Permission denied".
//   Windows: errno 0, "open_device: " and the system's message for ERROR_ACCESS_DENIED in US
//            English, as hidapi formats it.
[[nodiscard]] HidapiOpenError RefusedOpenAsHidapiReportsIt();

}  // namespace qv
