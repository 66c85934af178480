#pragma once

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_clock.h"
#include "in_process_mutexes.h"
#include "package/package_builder.h"
#include "package/package_load.h"
#include "platform/named_mutex.h"
#include "platform/random.h"
#include "recording_dialogs.h"
#include "sim/sim_bus.h"
#include "ui/sound_player.h"
#include "ui/update_app.h"
#include "update/update_run.h"

namespace qv::test {

// Records sound requests; an optional hook runs on the requesting thread.
class RecordingSound final : public SoundPlayer {
 public:
  void PlaySuccess() override {
    if (on_request) on_request();
    requests.fetch_add(1);
  }
  std::atomic<int> requests{0};
  std::function<void()> on_request;
};

// A valid package with a program and a sound area, written with the project's builder.
inline std::vector<uint8_t> SamplePackageFile(uint32_t program_bytes = 6000,
                                              uint32_t sound_bytes = 3000) {
  BuildInput input;
  auto& program = input.areas[kProgramArea];
  program.present = true;
  program.address = 0x40010000u;
  program.version_tag = {'P', '1', '2', '3'};
  for (uint32_t i = 0; i < program_bytes; ++i) program.data.push_back(static_cast<uint8_t>(i * 7));
  auto& sound = input.areas[kSoundArea];
  sound.present = sound_bytes > 0;
  sound.address = 0x40100000u;
  sound.version_tag = {'S', '0', '0', '1'};
  for (uint32_t i = 0; i < sound_bytes; ++i) sound.data.push_back(static_cast<uint8_t>(i ^ 0x5A));
  input.text1 = "QV-TEST";
  input.text2 = "V1.2";
  RuntimeRandom random;
  random.Seed(7);
  Result<std::vector<uint8_t>> built = BuildPackage(input, random);
  if (!built) qFatal("sample package refused: %s", built.failure().message.c_str());
  return std::move(*built);
}

inline void WriteFile(const QString& path, const std::vector<uint8_t>& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

// Everything a wizard needs, with the in-process simulator and instant waits.
struct WizardRig {
  WizardRig() {
    if (!dir.isValid()) qFatal("no temporary directory");
    paths = PackagePathsIn(dir.path().toStdString());
  }
  void WritePackage(const std::vector<uint8_t>& file = SamplePackageFile()) {
    WriteFile(QString::fromStdString(paths.package.string()), file);
    const std::string readme = "Line one\r\nLine two\r\n";
    WriteFile(QString::fromStdString(paths.readme.string()),
              std::vector<uint8_t>(readme.begin(), readme.end()));
  }
  [[nodiscard]] UpdateAppDependencies Dependencies() {
    return UpdateAppDependencies{bus, mutexes, clock, random, dialogs, sound, run, paths, timings};
  }

  QTemporaryDir dir;
  FakeClock clock;
  sim::SimBus bus{clock};
  InProcessMutexes mutexes;
  RuntimeRandom random;
  RecordingDialogs dialogs;
  RecordingSound sound;
  PackagePaths paths;
  RunFunction run = [](UpdateEnvironment& env, ProgressContext& progress) {
    return RunUpdate(env, progress);
  };
  PageTimings timings{5, 2};
};

// A wizard whose pages a test makes one by one (no page is shown by the wizard itself), with
// long timers so that only the test steps a page.
struct PageScene final : private WizardPages {
  explicit PageScene(int32_t continuous = 0) {
    context().continuous_mode = continuous;
    context().timings = PageTimings{60000, 60000};
  }
  [[nodiscard]] WizardContext& context() { return wizard.context(); }

  PageOutcome ShowWelcomePage(const std::string&) override { return kPageEnded; }
  PageOutcome ShowStartPage() override { return kPageEnded; }
  PageOutcome ShowProgressPage() override { return kPageEnded; }

  WizardRig rig;
  Wizard wizard{WizardParts{.bus = rig.bus,
                            .mutexes = rig.mutexes,
                            .clock = rig.clock,
                            .random = rig.random,
                            .dialogs = rig.dialogs,
                            .run = rig.run,
                            .timings = {},
                            .device_rules = {}},
                *this};
};

// The visible top-level page of the given type, or null.
template <typename Page>
Page* VisiblePage() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* page = qobject_cast<Page*>(widget);
    if (page != nullptr && page->isVisible()) return page;
  }
  return nullptr;
}

// Drives a wizard from its own event loops: every few milliseconds the next step is tried; a
// step returns true once it has acted. Ends every loop if the script stalls.
class Driver {
 public:
  using Step = std::function<bool()>;
  explicit Driver(std::vector<Step> steps, int stall_ms = 30000)
      : steps_(std::move(steps)), stall_ms_(stall_ms) {
    timer_.setInterval(2);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    clock_.start();
    timer_.start();
  }
  [[nodiscard]] bool finished() const { return next_ == steps_.size(); }
  [[nodiscard]] bool stalled() const { return stalled_; }
  [[nodiscard]] size_t step() const { return next_; }

 private:
  void Tick() {
    if (busy_ || finished()) return;
    busy_ = true;  // a step may open a nested loop (a message box, a page)
    if (steps_[next_]()) {
      ++next_;
      clock_.restart();
    } else if (clock_.elapsed() > stall_ms_) {
      stalled_ = true;
      timer_.stop();
      for (QWidget* widget : QApplication::topLevelWidgets()) widget->hide();
      QCoreApplication::exit(99);
    }
    busy_ = false;
  }

  std::vector<Step> steps_;
  int stall_ms_;
  size_t next_ = 0;
  bool busy_ = false;
  bool stalled_ = false;
  QTimer timer_;
  QElapsedTimer clock_;
};

}  // namespace qv::test
