#include <windows.h>

#include <system_error>

#include "file_traps.h"

namespace qv::test {
namespace {

constexpr const char* kNoFifos = "Windows has no FIFOs in its file system";
constexpr const char* kDeviceOwnName =
    "Windows puts no device into a folder: the NUL device has its own name only";
constexpr const char* kNoUnreadableFile =
    "Windows' file rights are access lists; the tests make no file their user may not read";

// The system's words for an error code, without the line break and the period that end them,
// as a program shows them under its own message.
std::string SystemWords(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring words(text == nullptr ? L"" : text, length);
  LocalFree(text);
  while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' ||
                            words.back() == L' ' || words.back() == L'.')) {
    words.pop_back();
  }
  const int size = WideCharToMultiByte(CP_UTF8, 0, words.data(), static_cast<int>(words.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, words.data(), static_cast<int>(words.size()), narrow.data(),
                      size, nullptr, nullptr);
  return narrow;
}

std::string Kind(const std::filesystem::file_status& status) {
  switch (status.type()) {
    case std::filesystem::file_type::regular:
      return "file";
    case std::filesystem::file_type::directory:
      return "directory";
    case std::filesystem::file_type::symlink:
      return "symlink";
    default:
      return "other";
  }
}

void AddFolderEntries(const std::filesystem::path& folder, const std::string& prefix,
                      std::map<std::string, std::string>& entries) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::error_code error;
    const std::filesystem::file_status status = entry.symlink_status(error);
    if (error) continue;
    std::string what = Kind(status) + " " +
                       std::to_string(static_cast<unsigned>(status.permissions()));
    if (status.type() == std::filesystem::file_type::regular) {
      what += " " + std::to_string(entry.file_size(error)) + " " +
              std::to_string(entry.last_write_time(error).time_since_epoch().count());
    }
    if (status.type() == std::filesystem::file_type::symlink) {
      what += " -> " + std::filesystem::read_symlink(entry.path(), error).string();
    }
    const std::string name = prefix + entry.path().filename().string();
    entries[name] = what;
    if (status.type() == std::filesystem::file_type::directory) {
      AddFolderEntries(entry.path(), name + "/", entries);
    }
  }
}

}  // namespace

std::string SpecialFileReason(SpecialFile kind) {
  switch (kind) {
    case SpecialFile::kFifo:
      return kNoFifos;
    case SpecialFile::kCharDevice:
      return "It is a character device, not a regular file";
    case SpecialFile::kDirectory:
      return "It is a directory, not a regular file";
    case SpecialFile::kDanglingSymlink:
      return SystemWords(ERROR_FILE_NOT_FOUND);
    case SpecialFile::kLoopingSymlink:
      return SystemWords(ERROR_CANT_RESOLVE_FILENAME);
    case SpecialFile::kUnreadable:
      return kNoUnreadableFile;
  }
  return "?";
}

PlacedSpecialFile PlaceSpecialFile(SpecialFile kind, const std::filesystem::path& path,
                                   Placement placement) {
  std::error_code error;
  switch (kind) {
    case SpecialFile::kFifo:
      return {path, kNoFifos};
    case SpecialFile::kCharDevice:
      if (placement == Placement::kAtThePath) return {path, kDeviceOwnName};
      return {CharacterDevice("/dev/zero"), {}};
    case SpecialFile::kDirectory:
      std::filesystem::create_directory(path, error);
      break;
    case SpecialFile::kDanglingSymlink:
      return {path, MakeSymlink(path.string() + ".absent", path)};
    case SpecialFile::kLoopingSymlink:
      return {path, MakeSymlink(path.filename(), path)};
    case SpecialFile::kUnreadable:
      return {path, kNoUnreadableFile};
  }
  if (error) return {path, "cannot create " + path.string()};
  return {path, {}};
}

std::string MakeFifo(const std::filesystem::path&) { return kNoFifos; }

// Wine keeps a link as a Unix symbolic link and follows it where Windows opens the link itself
// (FILE_FLAG_OPEN_REPARSE_POINT), so what the programs do with a link cannot be seen there.
static bool UnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string MakeSymlink(const std::filesystem::path& target, const std::filesystem::path& link) {
  if (UnderWine()) {
    return "wine follows symbolic links where Windows opens the link itself, so links are tried "
           "on Windows and Linux only";
  }
  // Without the privilege, Windows 10 and later make a link only in developer mode, and only
  // when asked to allow an unprivileged creation.
  std::error_code ignored;
  const DWORD kind = std::filesystem::is_directory(target, ignored) ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
  const DWORD flags = kind | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
  if (CreateSymbolicLinkW(link.c_str(), target.c_str(), flags) == 0) {
    return "this user may not make symbolic links here (" + SystemWords(GetLastError()) +
           "): it takes the privilege or developer mode";
  }
  return {};
}

std::string SymlinksUnavailable(const std::filesystem::path& folder) {
  const std::filesystem::path probe = folder / "symlink-probe";
  std::string why = MakeSymlink(folder / "absent", probe);
  std::error_code ignored;
  std::filesystem::remove(probe, ignored);
  return why;
}

std::filesystem::path CharacterDevice(const std::filesystem::path&) { return "NUL"; }

std::string SystemReasonText(SystemReason reason) {
  switch (reason) {
    case SystemReason::kNoSuchFile:
      return SystemWords(ERROR_FILE_NOT_FOUND);
    case SystemReason::kNoSuchFolder:
      return SystemWords(ERROR_PATH_NOT_FOUND);
    case SystemReason::kPermissionDenied:
      return SystemWords(ERROR_ACCESS_DENIED);
  }
  return "?";
}

std::map<std::string, std::string> FolderSnapshot(const std::filesystem::path& folder) {
  std::map<std::string, std::string> entries;
  AddFolderEntries(folder, "", entries);
  return entries;
}

bool CanGiveToAnotherUser() { return false; }
bool GiveToAnotherUser(const std::filesystem::path&) { return false; }

std::vector<std::string> UnprivilegedLauncher() { return {}; }

UnprivilegedFileAccess::UnprivilegedFileAccess() = default;
UnprivilegedFileAccess::~UnprivilegedFileAccess() = default;

}  // namespace qv::test
