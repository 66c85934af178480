#pragma once

#include <string>

namespace qv::sim::shim {

// Reports an open that the system refused for lack of rights the way this system's hidapi
// does: sets errno and returns the text hid_error(NULL) gives afterwards.
//   POSIX (hidraw): errno EACCES, "Permission denied".
//   Windows: errno 0 (hidapi reports through hid_error alone), "open_device: " and the
//            system's message for ERROR_ACCESS_DENIED.
[[nodiscard]] std::wstring RefuseOpenAsTheSystemDoes();

}  // namespace qv::sim::shim
