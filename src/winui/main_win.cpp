// qvupdater.exe: the wizard that writes a package into the device; the package beside the
// executable, or the one named on the command line.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "package/package_load.h"
#include "platform/clock.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"
#include "platform/random.h"
#include "platform/utf8_path.h"
#include "program_version.h"
#include "winui/message_boxes.h"
#include "winui/wizard_app.h"
#include "winui/wizard_command_line.h"

namespace {

// The arguments after the program's name, as the system split them.
std::vector<std::wstring> Arguments() {
  int count = 0;
  LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> arguments;
  if (list == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.emplace_back(list[i]);
  LocalFree(list);
  return arguments;
}

void StartCommonControls() {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using Action = qv::winui::WizardCommandLine::Action;
  const qv::winui::WizardCommandLine command_line = qv::winui::ParseWizardCommandLine(Arguments());
  switch (command_line.action) {
    case Action::kHelp:
      qv::winui::ShowMessageBox(nullptr, qv::winui::WizardHelpText());
      return 0;
    case Action::kVersion:
      qv::winui::ShowMessageBox(nullptr, std::string("qvupdater ") + qv::kProgramVersion);
      return 0;
    case Action::kUsageError:
      qv::winui::ShowMessageBox(nullptr, "qvupdater: " + command_line.error +
                                             "\n\nUsage: qvupdater [PATH]");
      return 1;
    case Action::kRun:
      break;
  }

  StartCommonControls();
  qv::RuntimeRandom random;
  qv::winui::WizardApp wizard(instance, qv::SystemHidBus(), qv::SystemNamedMutexes(),
                              qv::SystemClock(), random);
  return wizard.Run(qv::winui::WizardPackagePaths(command_line.package_location,
                                                  qv::PathFromUtf8(qv::ProgramDirectory())));
}
