#pragma once

// Who runs the program: the machine's name and the process's id, for the record's session.

#include <cstdint>
#include <string>

namespace qv {

// The machine's host name, or empty where the system does not give it.
[[nodiscard]] std::string HostName();
[[nodiscard]] int64_t ProcessId();

}  // namespace qv
