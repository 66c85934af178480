#pragma once

// The files in a folder, for the tools that take a folder in place of its files (a folder of
// trusted keys, a folder of records).

#include <filesystem>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace qv {

// Whether a folder is at the path (a link to one followed, as the user named it).
[[nodiscard]] bool IsFolder(const std::filesystem::path& path);

// The paths of the regular files in the folder (links to one included, nothing below it) whose
// names end in `suffix`, sorted by name. The failure's message is the system's reason.
[[nodiscard]] Result<std::vector<std::filesystem::path>> FilesInFolder(
    const std::filesystem::path& folder, std::string_view suffix);

}  // namespace qv
