#pragma once

#include <string>
#include <sys/types.h>

#include "station/unit_record.h"

namespace qv::station {

// Which file an open descriptor is, so that two paths naming one file are told apart from two
// files.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  [[nodiscard]] bool operator==(const FileIdentity&) const = default;
};

// The record file, opened for appending. It must be a regular file: created when absent, never
// reached through a symbolic link, and never a device, a pipe or a directory, so a line is
// either kept on a disk or reported as not kept. The file is opened without blocking (a FIFO
// without a reader is refused at once, not waited on).
//
// Each line goes out with one write() at the end of the file, under an exclusive advisory lock
// that every station appending to the same record takes, and is flushed to the disk before
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
  [[nodiscard]] bool is_open() const { return fd_ >= 0; }
  [[nodiscard]] FileIdentity identity() const { return identity_; }

 private:
  int fd_ = -1;
  FileIdentity identity_;
};

// Why a file to write could not be opened at `path` without following a link or blocking:
// "It is a FIFO, not a regular file" for what is no regular file (a symbolic link included, a
// FIFO without a reader too), the system's reason otherwise.
[[nodiscard]] std::string WriteOpenFailure(const std::string& path, int error_number);
// The same for a descriptor opened on something that is no regular file.
[[nodiscard]] std::string NotRegularFile(unsigned mode);

}  // namespace qv::station
