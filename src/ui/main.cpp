// qvupdater: the wizard that writes a package into the device; the package beside the
// executable, or the one named on the command line.
#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QStringList>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "package/package_load.h"
#include "platform/clock.h"
#include "platform/device_access_advice.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"
#include "platform/random.h"
#include "program_version.h"
#include "ui/package_chooser.h"
#include "ui/page_appearance.h"
#include "ui/qt_dialogs.h"
#include "ui/sound_player.h"
#include "ui/update_app.h"
#include "update/update_run.h"
#include "wizard/wizard_command_line.h"

namespace {

// Keys installed here are required of every package, as if given with --require-signature.
constexpr const char* kTrustedKeysFolder = "/etc/qvupdater/trusted-keys/";

// The arguments after the program's name, as the bytes the file system knows a name by.
std::vector<std::string> ArgumentsOf(const QStringList& arguments) {
  std::vector<std::string> bytes;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    bytes.push_back(QFile::encodeName(arguments[i]).toStdString());
  }
  return bytes;
}

std::vector<std::string> ArgumentsOf(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string HelpText() {
  return qv::WizardHelpText(
      {.way_in = "The desktop entry starts the wizard this way (qvupdater --choose %f), so it "
                 "opens a package from the menu and from a file manager alike.",
       .trusted_keys = kTrustedKeysFolder,
       .toolkit_options = "Qt's own options (-platform, -style, ...) are accepted as well.",
       .width = 80});
}

// Help and version are answered before the toolkit starts, so that they work without a
// display. Returns the exit status when the program is to end here.
bool AnsweredWithoutWindow(const qv::WizardCommandLine& command_line, int& status) {
  using Action = qv::WizardCommandLine::Action;
  if (command_line.action == Action::kHelp) {
    std::fputs(HelpText().c_str(), stdout);
    status = 0;
    return true;
  }
  if (command_line.action == Action::kVersion) {
    std::printf("qvupdater %s\n", qv::kProgramVersion);
    status = 0;
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  int status = 0;
  // Qt's own options are still in argv here; a usage error is judged after Qt took them out.
  if (AnsweredWithoutWindow(qv::ParseWizardCommandLine(ArgumentsOf(argc, argv)), status)) {
    return status;
  }

  QApplication application(argc, argv);
  const qv::WizardCommandLine command_line =
      qv::ParseWizardCommandLine(ArgumentsOf(QApplication::arguments()));
  if (AnsweredWithoutWindow(command_line, status)) return status;
  if (command_line.action == qv::WizardCommandLine::Action::kUsageError) {
    std::fprintf(stderr, "qvupdater: %s\nTry 'qvupdater --help'.\n", command_line.error.c_str());
    return 1;
  }

  qv::EnsureUiResources();
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/qvupdater/app_icon.bmp")));

  std::optional<std::filesystem::path> package_location = command_line.package_location;
  if (command_line.choose && !package_location) {
    package_location = qv::AskForPackageFile(qv::PackageChooserStartFolder());
    // Cancel asks for nothing more: the program ends as the wizard's own Cancel ends it.
    if (!package_location) return 0;
  }

  qv::QtDialogs dialogs;
  qv::QtSoundPlayer sound;
  qv::RuntimeRandom random;
  const qv::UpdateAppDependencies dependencies{
      qv::SystemHidBus(),
      qv::SystemNamedMutexes(),
      qv::SystemClock(),
      random,
      dialogs,
      sound,
      [](qv::UpdateEnvironment& env, qv::ProgressContext& progress) {
        return qv::RunUpdate(env, progress);
      },
      qv::WizardPackagePaths(package_location, qv::ProgramDirectory()),
      qv::PageTimings{},
      qv::SystemDeviceRuleLookup(qv::ProgramDirectory()),
      qv::SignatureRequirement{command_line.required_keys, kTrustedKeysFolder},
  };
  qv::UpdateApp updater(dependencies);
  return updater.Run();
}
