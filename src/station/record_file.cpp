#include "station/record_file.h"

#include <span>

#include "platform/utf8_path.h"

namespace qv::station {

bool RecordFile::Open(const std::string& path, std::string& error) {
  // Written at its end, created when absent; others may read it and other stations append to it
  // meanwhile.
  if (!file_.Open(PathFromUtf8(path), {.write = true, .creation = FileCreation::kIfAbsent})) {
    error = file_.failure_reason();
    return false;
  }
  return true;
}

bool RecordFile::Append(const UnitRecord& record, std::string& error) {
  return AppendLine(UnitRecordLine(record), error);
}

bool RecordFile::AppendLine(const std::string& line, std::string& error) {
  const FileAppendLock lock(file_);
  uint64_t before = 0;
  if (!file_.Size(before)) {
    error = file_.failure_reason();
    return false;
  }
  // One write at the end. A short write is never continued, so no line is ever split between
  // two writes; it is cut off again instead.
  std::size_t written = 0;
  const bool wrote = file_.WriteOnce(
      std::span(reinterpret_cast<const uint8_t*>(line.data()), line.size()), written);
  if (!wrote || written != line.size()) {
    error = !wrote ? file_.failure_reason() : "short write (disk full?)";
    if (written > 0 && !file_.CutTo(before)) {
      error += "; the cut line could not be removed: " + file_.failure_reason();
    }
    return false;
  }
  if (!file_.Flush()) {
    error = file_.failure_reason();
    return false;
  }
  return true;
}

}  // namespace qv::station
