#pragma once

#include <string>

#include "platform/file_identity.h"
#include "platform/regular_file.h"
#include "station/unit_record.h"

namespace qv::station {

using qv::FileIdentity;

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
  ~RecordFile() override = default;
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // On failure the reason as its message: the system's, or why the target is no record file.
  [[nodiscard]] Result<> Open(const std::string& path);
  [[nodiscard]] Result<> Append(const UnitRecord& record) override;
  [[nodiscard]] Result<> AppendLine(const std::string& line);
  [[nodiscard]] bool is_open() const { return file_.is_open(); }
  [[nodiscard]] FileIdentity identity() const { return file_.identity(); }

 private:
  RegularFile file_;
};

}  // namespace qv::station
