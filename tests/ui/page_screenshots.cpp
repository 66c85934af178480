// Renders every wizard page and the progress page's states into PNG files for the documentation:
//   qv_ui_page_screenshots <output directory>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTest>
#include <atomic>
#include <cstdio>
#include <thread>

#include "ui/package_chooser.h"
#include "ui/progress_page.h"
#include "ui/qt_dialogs.h"
#include "ui/start_page.h"
#include "ui/welcome_page.h"
#include "wizard/readme_text.h"
#include "update/progress_state.h"
#include "update/update_texts.h"
#include "wizard_fixture.h"

using namespace qv;
using namespace qv::test;

namespace {

bool Save(QWidget& widget, const QDir& dir, const char* name) {
  widget.show();
  QTest::qWait(50);
  const QString path = dir.filePath(QString::fromLatin1(name));
  if (!widget.grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}


// A progress page whose run ends with the given result, after its done check.
bool FinishedPage(const QDir& dir, const char* name, RunResult result, int32_t continuous) {
  PageScene scene(continuous);
  scene.context().run = [result](UpdateEnvironment&, ProgressContext& progress) {
    progress.percent = 64;
    progress.PostProgressMessage();
    return result;
  };
  ProgressPage page(scene.context(), scene.rig.sound);
  if (!QTest::qWaitFor([&] { return page.run_done(); }, 5000)) return false;
  page.OnDoneCheck();
  return Save(page, dir, name);
}

bool RunningPage(const QDir& dir) {
  PageScene scene(0);
  std::atomic<bool> release{false};
  scene.context().run = [&release](UpdateEnvironment&, ProgressContext& progress) {
    progress.percent = 45;
    progress.PostProgressMessage();
    progress.SetStatusText(std::string(text::kUpdatePrefix) + RemainingTimeText(45, 12500));
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return RunResult::kSucceeded;
  };
  ProgressPage page(scene.context(), scene.rig.sound);
  auto* bar = page.findChild<QProgressBar*>(QStringLiteral("progress_bar"));
  const bool ready = QTest::qWaitFor([&] { return bar->value() == 45; }, 5000);
  const bool saved = ready && Save(page, dir, "progress_running.png");
  release = true;
  return saved;
}

bool WelcomeAndStart(const QDir& dir) {
  PageScene scene(0);
  scene.rig.WritePackage();
  if (!LoadPackage(scene.context().store, scene.rig.paths, scene.rig.dialogs, scene.rig.random,
                   scene.rig.clock)) {
    return false;
  }
  WelcomePage welcome(InformationTextForDisplay(scene.context().store.information_text));
  if (!Save(welcome, dir, "welcome.png")) return false;
  StartPage start(scene.wizard);
  start.findChild<QCheckBox*>(QStringLiteral("continuous_mode_checkbox"))->setChecked(true);
  return Save(start, dir, "start.png");
}

bool Boxes(const QDir& dir) {
  auto message = MakeMessageBox(QString::fromLatin1(text::kNoDevice), nullptr);
  if (!Save(*message, dir, "no_device_message.png")) return false;
  auto question = MakeQuestionBox(
      QStringLiteral("It's the latest version, Do you continue to updata ?"), nullptr);
  return Save(*question, dir, "same_version_question.png");
}

// The package dialog of qvupdater --choose, in a Downloads folder with a package in it.
bool Chooser(const QDir& dir) {
  QTemporaryDir home;
  const QString downloads = home.path() + "/Downloads";
  if (!QDir().mkpath(downloads)) return false;
  WriteFile(downloads + "/QVUpdate.Bin", SamplePackageFile());
  WriteFile(downloads + "/firmware-1.3.Bin", SamplePackageFile(9000));
  const std::string readme = "Release notes\n";
  WriteFile(downloads + "/readme.txt", std::vector<uint8_t>(readme.begin(), readme.end()));
  auto chooser = MakePackageChooser(downloads);
  chooser->setOption(QFileDialog::DontUseNativeDialog);
  chooser->resize(860, 420);
  chooser->selectFile(downloads + "/QVUpdate.Bin");
  return Save(*chooser, dir, "package_chooser.png");
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
    return 2;
  }
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.exists() && !QDir().mkpath(dir.path())) return 1;
  const bool ok = WelcomeAndStart(dir) && RunningPage(dir) &&
                  FinishedPage(dir, "progress_success.png", RunResult::kSucceeded, 0) &&
                  FinishedPage(dir, "progress_failure.png", RunResult::kFailed, 0) &&
                  FinishedPage(dir, "progress_polling.png", RunResult::kSucceeded, 1) && Boxes(dir) &&
                  Chooser(dir);
  return ok ? 0 : 1;
}
