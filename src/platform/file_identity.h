#pragma once

#include <cstdint>

namespace qv {

// Which file an open file is, so that two paths naming one file are told apart from two files.
struct FileIdentity {
  uint64_t volume = 0;  // the device on POSIX, the volume's serial number on Windows
  uint64_t index = 0;   // the inode, the file index
  [[nodiscard]] bool operator==(const FileIdentity&) const = default;
};

}  // namespace qv
