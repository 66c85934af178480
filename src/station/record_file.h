#pragma once

#include <cstdint>
#include <string>

#include "station/unit_record.h"

namespace qv::station {

// Which file an open descriptor is, so that two paths naming one file are told apart from two
// files.
struct FileIdentity {
  uint64_t volume = 0;  // the device on POSIX, the volume's serial number on Windows
  uint64_t index = 0;   // the inode, the file index
  [[nodiscard]] bool operator==(const FileIdentity&) const = default;
};

// The record file, opened for appending. It must be a regular file: created when absent, never
// reached through a symbolic link, and never a device, a pipe or a directory, so a line is
// either kept on a disk or reported as not kept. The file is opened without blocking (a FIFO
// without a reader is refused at once, not waited on).
//
// Each line goes out with one write at the end of the file, under an exclusive lock that every
// station appending to the same record takes, and is flushed to the disk before
// Append returns. A short or failed write is undone (the file is cut back to its length before
// the line), so the record holds whole lines only, also after a full disk, and a crash or power
// cut loses at most the line in progress.
class RecordFile final : public RecordSink {
 public:
  RecordFile() = default;
  ~RecordFile() override;
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // False with the reason in `error`: the system's, or why the target is no record file.
  [[nodiscard]] bool Open(const std::string& path, std::string& error);
  [[nodiscard]] bool Append(const UnitRecord& record, std::string& error) override;
  [[nodiscard]] bool AppendLine(const std::string& line, std::string& error);
  [[nodiscard]] bool is_open() const { return handle_ != kNoFile; }
  [[nodiscard]] FileIdentity identity() const { return identity_; }

 private:
  // A descriptor on POSIX, a HANDLE on Windows; -1 is "none" on both.
  static constexpr std::intptr_t kNoFile = -1;
  std::intptr_t handle_ = kNoFile;
  FileIdentity identity_;
};

}  // namespace qv::station
