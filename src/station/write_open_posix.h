#pragma once

// The POSIX record and trace files' words for a target that cannot be written.

#include <string>

namespace qv::station {

// Why a file to write could not be opened at `path` without following a link or blocking:
// "It is a FIFO, not a regular file" for what is no regular file (a symbolic link included, a
// FIFO without a reader too), the system's reason otherwise.
[[nodiscard]] std::string WriteOpenFailure(const std::string& path, int error_number);
// The same for a descriptor opened on something that is no regular file.
[[nodiscard]] std::string NotRegularFile(unsigned mode);

}  // namespace qv::station
