#include "package/package_file_writer.h"

#include <random>
#include <string_view>

#include "platform/file_folder.h"
#include "platform/path_kind.h"
#include "platform/regular_file.h"
#include "platform/utf8_path.h"

namespace qv {
namespace {

// A long output name is shortened in the temporary name so that it stays within the system's
// limit for a name.
constexpr std::size_t kKeptNameLength = 100;
constexpr int kRandomCharacters = 12;

// The name's first characters, never cut inside a UTF-8 sequence: a name that is not valid
// UTF-8 could not be made on a system that keeps names in UTF-16.
std::string KeptPart(const std::string& name) {
  if (name.size() <= kKeptNameLength) return name;
  std::size_t end = kKeptNameLength;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}

// "" when path may be replaced: absent, or a regular file. A link there is looked at itself,
// never followed.
std::string CheckReplaceable(const std::filesystem::path& path) {
  const PathKind kind = LookAtPath(path);
  switch (kind.is) {
    case PathKind::Is::kAbsent:
    case PathKind::Is::kRegularFile:
      return {};
    case PathKind::Is::kOther:
      // "It is a directory, not a regular file" as "<path> is a directory, not a regular file".
      return Utf8FromPath(path) + " is" + kind.reason.substr(std::string_view("It is").size()) +
             ": it is left as it is";
    case PathKind::Is::kUnknown:
      break;
  }
  return "cannot check " + Utf8FromPath(path) + ": " + kind.reason;
}

// Creates a new file under the first free name in the folder; false with the message set.
bool CreateTemporary(const FileFolder& folder, const std::string& output_name,
                     TemporaryNameSource& names, RegularFile& file, std::string& name,
                     std::string& message) {
  // New and exclusive: an existing name, a symlink included, is never opened but skipped. No one
  // else may open it meanwhile where the system can say so.
  const FileOpenMode mode{.write = true,
                          .creation = FileCreation::kNew,
                          .sharing = FileSharing::kNone,
                          .new_file_open_to_umask = true};
  for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
    name = names.Next(output_name);
    if (file.Open(PathFromUtf8(name), mode, &folder)) return true;
    if (file.open_failure() != FileOpenFailure::kExists) {
      message = "cannot create a file in the folder of the output: " + file.failure_reason();
      return false;
    }
  }
  message = "cannot create a file in the folder of the output: " +
            std::to_string(kTemporaryNameTries) + " names tried were all taken";
  return false;
}

}  // namespace

std::string RandomTemporaryNames::Next(const std::string& output_name) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device system_random;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::string name = "." + KeptPart(output_name) + ".";
  for (int i = 0; i < kRandomCharacters; ++i) name += kAlphabet[pick(system_random)];
  return name + ".tmp";
}

namespace {

// The write; "" on success, else what failed and why.
std::string WriteOrSayWhy(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                          TemporaryNameSource& names) {
  const std::string output_name = Utf8FromPath(path.filename());
  if (output_name.empty() || output_name == "." || output_name == "..") {
    return Utf8FromPath(path) + " names a folder, not a file";
  }
  if (std::string refused = CheckReplaceable(path); !refused.empty()) return refused;

  const std::filesystem::path folder_path = path.has_parent_path() ? path.parent_path() : ".";
  FileFolder folder;
  if (!folder.Open(folder_path)) {
    return "cannot open the folder " + Utf8FromPath(folder_path) + ": " + folder.failure_reason();
  }
  RegularFile file;
  std::string name;
  std::string message;
  if (!CreateTemporary(folder, output_name, names, file, name, message)) return message;

  const auto discard = [&](const std::string& failure) {
    (void)file.Close();
    folder.Remove(PathFromUtf8(name));
    return failure;
  };
  if (!file.WriteAll(bytes) || !file.Flush() || !file.Close()) {
    return discard("cannot write " + Utf8FromPath(path) + ": " + file.failure_reason());
  }
  // Checked again right before the rename: something may have been put at path meanwhile.
  if (std::string refused = CheckReplaceable(path); !refused.empty()) return discard(refused);
  if (!folder.Rename(PathFromUtf8(name), PathFromUtf8(output_name))) {
    return discard("cannot replace " + Utf8FromPath(path) + ": " + folder.failure_reason());
  }
  if (!folder.Flush()) {
    return "wrote " + Utf8FromPath(path) + " but its folder could not be flushed to disk: " +
           folder.failure_reason();
  }
  return {};
}

}  // namespace

Result<> WritePackageFile(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                          TemporaryNameSource& names) {
  std::string failure = WriteOrSayWhy(path, bytes, names);
  if (failure.empty()) return {};
  return Failure{std::move(failure)};
}

}  // namespace qv
