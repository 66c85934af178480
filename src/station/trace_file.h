#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "platform/result.h"
#include "station/record_file.h"

namespace qv::station {

// Opens the trace for writing. A path that names nothing is created exclusively; an existing
// regular file this user owns is appended to. Refused: a symbolic link (one planted at a shared
// path such as /tmp/unit.trace would redirect the trace onto any file the station may write),
// anything but a regular file, a file someone else owns, and the record itself. Opened without
// blocking, never truncating. The stream, or the reason it could not be opened as the failure's
// message.
[[nodiscard]] Result<std::FILE*> OpenTraceFile(const std::string& path,
                                               const std::optional<FileIdentity>& record);

inline constexpr const char* kTraceIsRecord = "It is the record file; the trace needs its own";
inline constexpr const char* kNotOwnFile = "It is a file of another user";

}  // namespace qv::station
