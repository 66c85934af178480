// qvupdater.exe: the wizard that writes a package into the device; the package beside the
// executable, the one named on the command line, or with --choose the one picked in the file
// dialog.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "package/package_load.h"
#include "platform/clock.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"
#include "platform/random.h"
#include "platform/utf8_path.h"
#include "platform/windows_text.h"
#include "program_version.h"
#include "winui/message_boxes.h"
#include "winui/package_chooser.h"
#include "winui/wizard_app.h"
#include "wizard/wizard_command_line.h"

namespace {

// The arguments after the program's name, as the system split them, in UTF-8.
std::vector<std::string> Arguments() {
  int count = 0;
  LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  if (list == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(qv::Utf8FromWide(list[i]));
  LocalFree(list);
  return arguments;
}

// Keys installed in this folder beside the program are required of every package, as if given
// with --require-signature.
std::filesystem::path TrustedKeysFolder() {
  return qv::PathFromUtf8(qv::ProgramDirectory()) / "trusted-keys";
}

std::string HelpText() {
  return qv::WizardHelpText(
      {.way_in = "The Start-menu shortcut starts the wizard this way, and a package dropped on "
                 "the shortcut or on the program, or opened with \"Open with\", is read at once.",
       .trusted_keys = "the folder trusted-keys beside the program",
       .toolkit_options = "",
       .width = 0});
}

void StartCommonControls() {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
}

// With --choose and no PATH: the package the user picks. Sets `status` and returns nothing when
// the program is to end here: 0 after Cancel, 1 when the dialog could not be shown.
std::optional<std::filesystem::path> ChosenPackage(int& status) {
  // The dialog shows the shell's folders, which are COM objects of this thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const qv::winui::PackageChoice choice =
      qv::winui::AskForPackageFile(nullptr, qv::winui::PackageChooserStartFolder());
  if (SUCCEEDED(com)) CoUninitialize();
  if (!choice.error.empty()) {
    qv::winui::ShowMessageBox(nullptr, choice.error);
    status = 1;
  } else if (!choice.package) {
    // Cancel asks for nothing more: the program ends as the wizard's own Cancel ends it.
    status = 0;
  }
  return choice.package;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using Action = qv::WizardCommandLine::Action;
  const qv::WizardCommandLine command_line = qv::ParseWizardCommandLine(Arguments());
  switch (command_line.action) {
    case Action::kHelp:
      qv::winui::ShowMessageBox(nullptr, HelpText());
      return 0;
    case Action::kVersion:
      qv::winui::ShowMessageBox(nullptr, std::string("qvupdater ") + qv::kProgramVersion);
      return 0;
    case Action::kUsageError:
      qv::winui::ShowMessageBox(nullptr, "qvupdater: " + command_line.error + "\n\n" +
                                             qv::kWizardUsage);
      return 1;
    case Action::kRun:
      break;
  }

  StartCommonControls();
  std::optional<std::filesystem::path> package_location = command_line.package_location;
  if (command_line.choose && !package_location) {
    int status = 0;
    package_location = ChosenPackage(status);
    if (!package_location) return status;
  }
  qv::RuntimeRandom random;
  qv::winui::WizardApp wizard(instance, qv::SystemHidBus(), qv::SystemNamedMutexes(),
                              qv::SystemClock(), random,
                              {command_line.required_keys, TrustedKeysFolder()});
  return wizard.Run(
      qv::WizardPackagePaths(package_location, qv::PathFromUtf8(qv::ProgramDirectory())));
}
