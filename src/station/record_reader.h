#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "station/unit_record.h"

namespace qv::station {

// Reads a record file line by line, handing each record line to `each`. Only a regular file is
// read (a FIFO, a device such as /dev/zero or a directory is refused at once), it is opened
// without blocking, and at most one line of kMaxRecordLine bytes is held at a time: a longer
// line is skipped and counted as unreadable, like every line that is not a record. False with
// the reason in `error` when the file cannot be read.
[[nodiscard]] bool ReadRecordFile(const std::string& path,
                                  const std::function<void(const UnitRecord&)>& each,
                                  uint64_t& unreadable_lines, std::string& error);

}  // namespace qv::station
