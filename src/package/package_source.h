#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "platform/regular_file.h"
#include "platform/utf8_path.h"

namespace qv {

// Where the package bytes come from: the package file, or memory (fuzzing, tests). The loader
// opens it twice, as it opens the file twice: once to measure it, once to read it.
class PackageSource {
 public:
  virtual ~PackageSource() = default;
  // Opens for reading from the first byte; false when it cannot be opened.
  [[nodiscard]] virtual bool Open() = 0;
  // Reads up to size bytes; fewer only at the end or on an error (0 then).
  [[nodiscard]] virtual std::size_t Read(uint8_t* out, std::size_t size) = 0;
  // The current length of the open source in bytes.
  [[nodiscard]] virtual uint64_t Length() = 0;
  virtual void Close() = 0;
  // Why the last Open() or Read() failed, in the system's words; "" when unknown or nothing
  // failed. Shown on a line under the loader's message.
  [[nodiscard]] virtual std::string FailureReason() const { return {}; }
  // What the user knows the source by (the file's path), for the line under a message that
  // says it failed; "" when it has no name of its own.
  [[nodiscard]] virtual std::string Name() const { return {}; }
};

// A file read with plain POSIX calls, shared for reading by others. Only a regular file opens:
// a FIFO, a device node or a directory at the path fails the open like a missing file.
class FilePackageSource final : public PackageSource {
 public:
  explicit FilePackageSource(std::filesystem::path path) : path_(std::move(path)) {}

  [[nodiscard]] bool Open() override { return file_.Open(path_); }
  [[nodiscard]] std::size_t Read(uint8_t* out, std::size_t size) override {
    return file_.Read(out, size);
  }
  [[nodiscard]] uint64_t Length() override { return file_.Length(); }
  void Close() override { file_.Close(); }
  [[nodiscard]] std::string FailureReason() const override { return file_.failure_reason(); }
  [[nodiscard]] std::string Name() const override { return Utf8FromPath(path_); }

 private:
  std::filesystem::path path_;
  RegularFile file_;
};

// Bytes already in memory; the span must outlive the source.
class MemoryPackageSource final : public PackageSource {
 public:
  explicit MemoryPackageSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  [[nodiscard]] bool Open() override {
    position_ = 0;
    return true;
  }
  [[nodiscard]] std::size_t Read(uint8_t* out, std::size_t size) override;
  [[nodiscard]] uint64_t Length() override { return bytes_.size(); }
  void Close() override {}

 private:
  std::span<const uint8_t> bytes_;
  std::size_t position_ = 0;
};

}  // namespace qv
