#pragma once

// What the Windows file sources share: opening a path with the rights and sharing they need, and
// the words for a file that is not a regular one.

#include <windows.h>

#include <filesystem>
#include <string>

namespace qv {

// Why the file behind the handle is not a regular file on a disk ("It is a directory, not a
// regular file", ...), or "" when it is one. A handle opened with FILE_FLAG_OPEN_REPARSE_POINT
// shows a link itself, which is refused too.
[[nodiscard]] std::string NotRegularFileReason(HANDLE file);

// Why a file to write could not be opened at the path, right after the open failed: a folder is
// named as one ("It is a directory, not a regular file"), else the system's reason.
[[nodiscard]] std::string WriteOpenFailureText(const std::filesystem::path& path);

// The reason in the system's words for the last failed call.
[[nodiscard]] std::string LastErrorText();

}  // namespace qv
