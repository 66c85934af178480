#include "station/record_file.h"

#include <span>

#include "platform/utf8_path.h"

namespace qv::station {

Result<> RecordFile::Open(const std::string& path) {
  // Written at its end, created when absent; others may read it and other stations append to it
  // meanwhile.
  if (!file_.Open(PathFromUtf8(path), {.write = true, .creation = FileCreation::kIfAbsent})) {
    return Failure{file_.failure_reason()};
  }
  return {};
}

Result<> RecordFile::Append(const UnitRecord& record) {
  return AppendLine(UnitRecordLine(record));
}

Result<> RecordFile::AppendLine(const std::string& line) {
  const FileAppendLock lock(file_);
  uint64_t before = 0;
  if (!file_.Size(before)) return Failure{file_.failure_reason()};
  // One write at the end. A short write is never continued, so no line is ever split between
  // two writes; it is cut off again instead.
  std::size_t written = 0;
  const bool wrote = file_.WriteOnce(
      std::span(reinterpret_cast<const uint8_t*>(line.data()), line.size()), written);
  if (!wrote || written != line.size()) {
    std::string reason = !wrote ? file_.failure_reason() : "short write (disk full?)";
    if (written > 0 && !file_.CutTo(before)) {
      reason += "; the cut line could not be removed: " + file_.failure_reason();
    }
    return Failure{std::move(reason)};
  }
  if (!file_.Flush()) return Failure{file_.failure_reason()};
  return {};
}

}  // namespace qv::station
