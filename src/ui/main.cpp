// qvupdater: the wizard that writes the package beside the executable into the device.
#include <QApplication>
#include <QIcon>

#include "package/package_load.h"
#include "platform/clock.h"
#include "platform/hid_bus.h"
#include "platform/named_mutex.h"
#include "platform/random.h"
#include "ui/page_appearance.h"
#include "ui/qt_dialogs.h"
#include "ui/sound_player.h"
#include "ui/update_app.h"
#include "update/update_run.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  qv::EnsureUiResources();
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/qvupdater/app_icon.bmp")));

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
      qv::PackagePathsIn(qv::ProgramDirectory()),
      qv::PageTimings{},
  };
  qv::UpdateApp updater(dependencies);
  return updater.Run();
}
