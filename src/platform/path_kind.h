#pragma once

// What lies at a path, looked at itself: a link there is not followed.

#include <filesystem>
#include <optional>
#include <string>

#include "platform/file_identity.h"

namespace qv {

struct PathKind {
  enum class Is { kAbsent, kRegularFile, kOther, kUnknown };
  Is is = Is::kUnknown;
  // kOther: "It is a directory, not a regular file", ...; kUnknown: the system's reason why the
  // path could not be looked at.
  std::string reason = {};
  // Which file it is, when the system said.
  std::optional<FileIdentity> identity = {};
};

[[nodiscard]] PathKind LookAtPath(const std::filesystem::path& path);

}  // namespace qv
