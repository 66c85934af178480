#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "platform/result.h"

namespace qv {

// Names for the temporary file that a package is written to before it takes the output's name.
class TemporaryNameSource {
 public:
  virtual ~TemporaryNameSource() = default;
  // The next name to try, a plain file name without a folder.
  [[nodiscard]] virtual std::string Next(const std::string& output_name) = 0;
};

// Names no one can guess in advance: the output's name with 12 letters and digits drawn from the
// system's random source, hidden with a leading dot.
class RandomTemporaryNames final : public TemporaryNameSource {
 public:
  [[nodiscard]] std::string Next(const std::string& output_name) override;
};

// How many names are tried before the write gives up: another file at a random name is rare,
// so many taken names mean someone is planting them.
inline constexpr int kTemporaryNameTries = 100;

// Writes bytes to the file at path without ever writing through what others may have put
// there. The bytes go into a temporary file created new and exclusive in path's folder (an
// existing name, a symlink included, is never opened but skipped), are flushed to disk, and the
// file is renamed over path only when path is absent or a regular file; then the folder is
// flushed so the new name lasts. On failure a message saying what failed and why; no temporary
// file is then left, and path is unchanged.
[[nodiscard]] Result<> WritePackageFile(const std::filesystem::path& path,
                                        std::span<const uint8_t> bytes, TemporaryNameSource& names);

}  // namespace qv
