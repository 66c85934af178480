#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

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
};

// A file read with plain POSIX calls, shared for reading by others.
class FilePackageSource final : public PackageSource {
 public:
  explicit FilePackageSource(std::filesystem::path path) : path_(std::move(path)) {}
  ~FilePackageSource() override { Close(); }
  FilePackageSource(const FilePackageSource&) = delete;
  FilePackageSource& operator=(const FilePackageSource&) = delete;

  [[nodiscard]] bool Open() override;
  [[nodiscard]] std::size_t Read(uint8_t* out, std::size_t size) override;
  [[nodiscard]] uint64_t Length() override;
  void Close() override;

 private:
  std::filesystem::path path_;
  int fd_ = -1;
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
