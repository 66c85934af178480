#include "station/trace_file.h"

#include "platform/path_kind.h"
#include "platform/regular_file.h"
#include "platform/utf8_path.h"

namespace qv::station {

Result<std::FILE*> OpenTraceFile(const std::string& path,
                                 const std::optional<FileIdentity>& record) {
  const std::filesystem::path file_path = PathFromUtf8(path);
  // Appended to only; others may read the trace meanwhile, but not write it.
  FileOpenMode mode{.write = true,
                    .creation = FileCreation::kNew,
                    .sharing = FileSharing::kRead,
                    .append_only = true};
  RegularFile file;
  if (!file.Open(file_path, mode) && file.open_failure() == FileOpenFailure::kExists) {
    mode.creation = FileCreation::kNever;
    (void)file.Open(file_path, mode);
  }
  if (!file.is_open()) {
    // Where the record, open for writing, refuses an open that shares no writing (Windows), the
    // record is told by the identity of what lies at the path.
    if (file.open_failure() == FileOpenFailure::kInUse && record &&
        LookAtPath(file_path).identity == *record) {
      return Failure{kTraceIsRecord};
    }
    return Failure{file.failure_reason()};
  }
  if (!file.OwnedByThisUser()) return Failure{kNotOwnFile};
  if (record && file.identity() == *record) return Failure{kTraceIsRecord};
  std::FILE* stream = file.ReleaseToStream();
  if (stream == nullptr) return Failure{file.failure_reason()};
  return stream;
}

}  // namespace qv::station
