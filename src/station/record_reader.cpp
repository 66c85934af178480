#include "station/record_reader.h"

#include <cstring>
#include <vector>

#include "platform/regular_file.h"
#include "platform/utf8_path.h"

namespace qv::station {
namespace {

// Gathers lines from the chunks read, dropping the bytes of a line past the limit.
class LineSplitter {
 public:
  LineSplitter(const std::function<void(const UnitRecord&)>& each, uint64_t& unreadable)
      : each_(each), unreadable_(unreadable) {}

  void Feed(const char* data, std::size_t size) {
    while (size != 0) {
      const char* newline = static_cast<const char*>(std::memchr(data, '\n', size));
      const std::size_t part = newline != nullptr ? static_cast<std::size_t>(newline - data) : size;
      if (!overlong_) {
        if (line_.size() + part > kMaxRecordLine) {
          overlong_ = true;
          line_.clear();
          line_.shrink_to_fit();
        } else {
          line_.append(data, part);
        }
      }
      if (newline == nullptr) return;
      EndLine();
      data += part + 1;
      size -= part + 1;
    }
  }

  void Finish() {
    if (overlong_ || !line_.empty()) EndLine();
  }

 private:
  void EndLine() {
    if (overlong_) {
      ++unreadable_;
    } else if (!line_.empty()) {
      if (ParseUnitRecord(line_, record_)) {
        each_(record_);
      } else {
        ++unreadable_;
      }
    }
    overlong_ = false;
    line_.clear();
  }

  const std::function<void(const UnitRecord&)>& each_;
  uint64_t& unreadable_;
  std::string line_;
  bool overlong_ = false;
  // Read into again for every line, its texts' storage reused.
  UnitRecord record_;
};

}  // namespace

bool ReadRecordFile(const std::string& path, const std::function<void(const UnitRecord&)>& each,
                    uint64_t& unreadable_lines, std::string& error) {
  RegularFile file;
  if (!file.Open(PathFromUtf8(path))) {
    error = file.failure_reason();
    return false;
  }
  LineSplitter lines(each, unreadable_lines);
  std::vector<uint8_t> chunk(std::size_t{1} << 16);
  for (;;) {
    const std::size_t got = file.Read(chunk.data(), chunk.size());
    if (got != 0) lines.Feed(reinterpret_cast<const char*>(chunk.data()), got);
    if (got < chunk.size()) break;
  }
  if (!file.failure_reason().empty()) {
    error = file.failure_reason();
    return false;
  }
  lines.Finish();
  return true;
}

}  // namespace qv::station
