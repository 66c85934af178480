#include "winui/package_chooser.h"

#include <commdlg.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdio>
#include <vector>

namespace qv::winui {
namespace {

// Room for a path as long as the system allows (long paths included).
constexpr DWORD kLongestPath = 32768;

// Pairs of a description and its patterns, each ended by a NUL, the list by a second one. The
// patterns match without regard to case, so "qvupdate.bin" and "PACKAGE.BIN" are listed too.
constexpr wchar_t kFilters[] =
    L"Update packages (QVUpdate.Bin, *.bin)\0QVUpdate.Bin;*.bin\0"
    L"All files (*.*)\0*.*\0";

}  // namespace

std::filesystem::path PackageChooserStartFolder() {
  PWSTR folder = nullptr;
  std::filesystem::path downloads;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Downloads, KF_FLAG_DEFAULT, nullptr, &folder))) {
    downloads = folder;
  }
  CoTaskMemFree(folder);
  std::error_code error;
  if (downloads.empty() || !std::filesystem::is_directory(downloads, error)) return {};
  return downloads;
}

PackageChoice AskForPackageFile(HWND owner, const std::filesystem::path& start_folder) {
  std::vector<wchar_t> file(kLongestPath, L'\0');
  const std::wstring folder = start_folder.wstring();
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = kFilters;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = kLongestPath;
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.lpstrTitle = L"Open an update package";
  dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                 OFN_ENABLESIZING;
  PackageChoice choice;
  if (GetOpenFileNameW(&dialog) != 0) {
    choice.package = std::filesystem::path(file.data());
    return choice;
  }
  // Cancel, Escape and the close box leave no error; anything else kept the dialog from opening.
  if (const DWORD error = CommDlgExtendedError(); error != 0) {
    char text[96];
    std::snprintf(text, sizeof text, "The file dialog could not be shown (error 0x%04lX).",
                  static_cast<unsigned long>(error));
    choice.error = text;
  }
  return choice;
}

}  // namespace qv::winui
