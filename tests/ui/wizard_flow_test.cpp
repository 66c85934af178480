// The whole wizard in-process: package loading, page flow, the checkbox, Start without and with
// a device, a real update against the simulated device, failure texts and the re-install
// question.
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "device/command_frame.h"
#include "device/device_identity.h"
#include "ui/object_thread_call.h"
#include "ui/progress_page.h"
#include "ui/start_page.h"
#include "ui/welcome_page.h"
#include "file_traps.h"
#include "update/update_texts.h"
#include "wizard_fixture.h"

using namespace qv;
using namespace qv::test;
using namespace std::chrono_literals;

namespace {

template <typename Page>
QPushButton* Button(Page* page, const char* name) {
  return page->template findChild<QPushButton*>(QString::fromLatin1(name));
}

// Clicks a button of the visible page of the given type.
template <typename Page>
Driver::Step Click(const char* name) {
  return [name] {
    Page* page = VisiblePage<Page>();
    if (page == nullptr || !Button(page, name)->isEnabled()) return false;
    QTest::mouseClick(Button(page, name), Qt::LeftButton);
    return true;
  };
}

template <typename Page>
Driver::Step Key(Qt::Key key) {
  return [key] {
    Page* page = VisiblePage<Page>();
    if (page == nullptr) return false;
    QTest::keyClick(page, key);
    return true;
  };
}

// What a finished progress page showed.
struct Finished {
  QString status;
  int bar = -1;
  bool quit_enabled = false;
};

Driver::Step RecordFinished(Finished& out) {
  return [&out] {
    ProgressPage* page = VisiblePage<ProgressPage>();
    if (page == nullptr || !page->run_done() || !Button(page, "quit_button")->isEnabled()) {
      return false;
    }
    out.status = page->findChild<QLabel*>(QStringLiteral("status_text"))->text();
    out.bar = page->findChild<QProgressBar*>(QStringLiteral("progress_bar"))->value();
    out.quit_enabled = true;
    return true;
  };
}

Driver::Step Do(std::function<void()> action) {
  return [action] {
    action();
    return true;
  };
}

}  // namespace

class WizardFlowTest : public QObject {
  Q_OBJECT
 private slots:
  void packageThatCannotLoadEndsWithStatusOne();
  void welcomePageShowsTheInformationText();
  void specialFilesNeverBlockTheWizard_data();
  void specialFilesNeverBlockTheWizard();
  void cancelOnEachPageEndsTheProgram_data();
  void cancelOnEachPageEndsTheProgram();
  void checkboxSetsContinuousMode_data();
  void checkboxSetsContinuousMode();
  void startWithoutDeviceThenWithOneRunsAWholeUpdate();
  void failedRunShowsTheFailureText();
  void everyKindOfDeviceGetsTheRightUpdate_data();
  void everyKindOfDeviceGetsTheRightUpdate();
  void keyOnTheFinishedPageEndsTheWizard_data();
  void keyOnTheFinishedPageEndsTheWizard();
  void sameVersionQuestion_data();
  void sameVersionQuestion();
};

void WizardFlowTest::packageThatCannotLoadEndsWithStatusOne() {
  WizardRig rig;  // no package written
  UpdateApp app(rig.Dependencies());
  bool page_seen = false;
  Driver watch({[&] {
    page_seen = page_seen || VisiblePage<WelcomePage>() != nullptr;
    return false;
  }});
  QCOMPARE(app.Run(), 1);
  QVERIFY(!page_seen);
  const std::string detail = rig.paths.package.string() + ": No such file or directory";
  const std::vector<std::string> expected{"Open updata file faile !\n" + detail,
                                          "No updata file ,please download again !\n" + detail};
  QCOMPARE(rig.dialogs.messages(), expected);
  QVERIFY(app.store().image == nullptr);
}

void WizardFlowTest::welcomePageShowsTheInformationText() {
  WizardRig rig;
  rig.WritePackage();
  UpdateApp app(rig.Dependencies());
  QString shown;
  bool next_has_focus = false;
  Driver driver({[&] {
                   WelcomePage* page = VisiblePage<WelcomePage>();
                   if (page == nullptr) return false;
                   auto* box = page->findChild<QPlainTextEdit*>(QStringLiteral("information_text_box"));
                   shown = box->toPlainText();
                   next_has_focus = QApplication::focusWidget() == Button(page, "next_button") ||
                                    page->focusWidget() == Button(page, "next_button");
                   return true;
                 },
                 Click<WelcomePage>("cancel_button")});
  QCOMPARE(app.Run(), 0);
  QVERIFY(driver.finished());
  QVERIFY(next_has_focus);
  QVERIFY(shown.contains(QStringLiteral("Line one\nLine two")));
  QVERIFY(!shown.contains(QLatin1Char('\r')));
}

void WizardFlowTest::specialFilesNeverBlockTheWizard_data() {
  QTest::addColumn<int>("kind_number");
  QTest::addColumn<bool>("at_readme");
  for (const SpecialFile kind : kSpecialFiles) {
    for (const bool at_readme : {false, true}) {
      const QByteArray name = QByteArray(SpecialFileName(kind)) + (at_readme ? " readme" : " package");
      QTest::newRow(name.constData()) << static_cast<int>(kind) << at_readme;
    }
  }
}

// A special file where the package is expected ends the wizard before its first page with the
// loader's messages and the system's reason on their second line; one where the readme is
// expected leaves the welcome text empty. Neither blocks: a case that hangs ends the test run.
void WizardFlowTest::specialFilesNeverBlockTheWizard() {
  QFETCH(int, kind_number);
  QFETCH(bool, at_readme);
  const auto kind = static_cast<SpecialFile>(kind_number);
  WizardRig rig;
  QFile::setPermissions(rig.dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                            QFileDevice::ExeOther);
  if (at_readme) {
    rig.WritePackage();
    QFile::remove(QString::fromStdString(rig.paths.readme.string()));
  }
  const std::string skip =
      PlaceSpecialFile(kind, at_readme ? rig.paths.readme : rig.paths.package).skip;
  if (!skip.empty()) QSKIP(skip.c_str());

  Watchdog watchdog(std::string("the wizard with a ") + SpecialFileName(kind), 60s);
  UnprivilegedFileAccess as_user;  // the loader reads on this thread
  UpdateApp app(rig.Dependencies());
  QString shown;
  Driver driver({[&] {
                   WelcomePage* page = VisiblePage<WelcomePage>();
                   if (page == nullptr) return false;
                   shown = page->findChild<QPlainTextEdit*>(QStringLiteral("information_text_box"))
                               ->toPlainText();
                   return true;
                 },
                 Click<WelcomePage>("cancel_button")});
  const std::string reason = rig.paths.package.string() + ": " + SpecialFileReason(kind);
  if (!at_readme) {
    QCOMPARE(app.Run(), 1);
    QCOMPARE(driver.step(), size_t{0});
    const std::vector<std::string> expected{"Open updata file faile !\n" + reason,
                                            "No updata file ,please download again !\n" + reason};
    QCOMPARE(rig.dialogs.messages(), expected);
    return;
  }
  QCOMPARE(app.Run(), 0);
  QVERIFY(driver.finished());
  QCOMPARE(shown, QStringLiteral("\n\n\n"));
  QVERIFY(rig.dialogs.messages().empty());
}

void WizardFlowTest::cancelOnEachPageEndsTheProgram_data() {
  QTest::addColumn<bool>("on_start_page");
  QTest::addColumn<int>("how");  // 0 Cancel button, 1 Escape, 2 close box
  QTest::newRow("welcome, Cancel") << false << 0;
  QTest::newRow("welcome, Escape") << false << 1;
  QTest::newRow("welcome, close box") << false << 2;
  QTest::newRow("start, Cancel") << true << 0;
  QTest::newRow("start, Escape") << true << 1;
  QTest::newRow("start, close box") << true << 2;
}

void WizardFlowTest::cancelOnEachPageEndsTheProgram() {
  QFETCH(bool, on_start_page);
  QFETCH(int, how);
  WizardRig rig;
  rig.WritePackage();
  rig.bus.Plug();
  UpdateApp app(rig.Dependencies());
  auto end_page = [how](QDialog* page) {
    if (how == 0) QTest::mouseClick(page->findChild<QPushButton*>("cancel_button"), Qt::LeftButton);
    if (how == 1) QTest::keyClick(page, Qt::Key_Escape);
    if (how == 2) page->close();
  };
  std::vector<Driver::Step> steps;
  if (on_start_page) steps.push_back(Click<WelcomePage>("next_button"));
  steps.push_back([&] {
    QDialog* page = on_start_page ? static_cast<QDialog*>(VisiblePage<StartPage>())
                                  : static_cast<QDialog*>(VisiblePage<WelcomePage>());
    if (page == nullptr) return false;
    end_page(page);
    return true;
  });
  bool welcome_came_back = false;
  steps.push_back([&] {
    welcome_came_back = VisiblePage<WelcomePage>() != nullptr;
    return false;  // keeps watching until the wizard has ended
  });
  Driver driver(steps);
  QCOMPARE(app.Run(), 0);
  QVERIFY(!driver.stalled());
  QVERIFY(!welcome_came_back);
  QCOMPARE(app.progress_pages(), uint64_t{0});
  QVERIFY(app.store().image == nullptr);
  QCOMPARE(rig.mutexes.held(kDeviceMutexName), 0);
}

void WizardFlowTest::checkboxSetsContinuousMode_data() {
  QTest::addColumn<QString>("presses");  // c: mouse click, s: space bar
  QTest::addColumn<int>("mode");
  QTest::newRow("untouched") << "" << 0;
  QTest::newRow("click") << "c" << 1;
  QTest::newRow("space") << "s" << 1;
  QTest::newRow("click twice") << "cc" << 0;
  QTest::newRow("space twice") << "ss" << 0;
  QTest::newRow("click, space, click") << "csc" << 1;
}

void WizardFlowTest::checkboxSetsContinuousMode() {
  QFETCH(QString, presses);
  QFETCH(int, mode);
  WizardRig rig;
  rig.WritePackage();
  UpdateApp app(rig.Dependencies());
  bool started_unticked = false;
  Driver driver({Click<WelcomePage>("next_button"),
                 [&] {
                   StartPage* page = VisiblePage<StartPage>();
                   if (page == nullptr) return false;
                   auto* box = page->findChild<QCheckBox*>(QStringLiteral("continuous_mode_checkbox"));
                   started_unticked = !box->isChecked();
                   for (QChar press : presses) {
                     if (press == QLatin1Char('c')) {
                       QTest::mouseClick(box, Qt::LeftButton);
                     } else {
                       box->setFocus();
                       QTest::keyClick(box, Qt::Key_Space);
                     }
                   }
                   return true;
                 },
                 Click<StartPage>("cancel_button")});
  QCOMPARE(app.Run(), 0);
  QVERIFY(driver.finished());
  QVERIFY(started_unticked);
  QCOMPARE(app.ContinuousMode(), mode);
}

void WizardFlowTest::startWithoutDeviceThenWithOneRunsAWholeUpdate() {
  WizardRig rig;
  rig.WritePackage();
  UpdateApp app(rig.Dependencies());
  std::shared_ptr<sim::SimDevice> device;
  Finished finished;
  bool start_page_kept = false;
  QString status_at_sound;
  rig.sound.on_request = [&] {
    CallOnObjectThread(qApp, [&] {
      if (ProgressPage* page = VisiblePage<ProgressPage>()) {
        status_at_sound = page->findChild<QLabel*>(QStringLiteral("status_text"))->text();
      }
    });
  };

  Driver driver({Click<WelcomePage>("next_button"), Click<StartPage>("start_button"), Do([&] {
                   start_page_kept = VisiblePage<StartPage>() != nullptr;
                   device = rig.bus.Plug();
                 }),
                 Click<StartPage>("start_button"), RecordFinished(finished),
                 Click<ProgressPage>("quit_button")});
  QCOMPARE(app.Run(), 0);
  QVERIFY(driver.finished());
  QCOMPARE(rig.dialogs.messages(), std::vector<std::string>{text::kNoDevice});
  QVERIFY(start_page_kept);
  QCOMPARE(finished.status, QString::fromLatin1(text::kSuccess));
  QCOMPARE(finished.bar, 100);
  QCOMPARE(rig.sound.requests.load(), 1);
  QCOMPARE(status_at_sound, QString::fromLatin1(text::kSuccess));
  QCOMPARE(app.progress_pages(), uint64_t{1});
  QVERIFY(device->Faults().empty());
  const std::vector<sim::SimCommand> commands = device->Commands();
  QVERIFY(!commands.empty());
  QCOMPARE(commands.back().opcode, CMD_OVER);  // normal mode ends with the over command
  // The program area landed where the package put it.
  const std::vector<uint8_t> flash = device->FlashImage();
  const uint32_t program_offset = 0x40010000u - 0x40000000u;
  QCOMPARE(flash[program_offset + 1], uint8_t{7});
  QCOMPARE(flash[program_offset + 2], uint8_t{14});
  QVERIFY(app.store().image == nullptr);
  QCOMPARE(rig.mutexes.held(kDeviceMutexName), 0);
}

void WizardFlowTest::failedRunShowsTheFailureText() {
  WizardRig rig;
  rig.WritePackage();
  sim::SimDeviceConfig config;
  config.vanish_report = 60;  // gone in the middle of the writes
  rig.bus.Plug(config);
  UpdateApp app(rig.Dependencies());
  Finished finished;
  Driver driver({Click<WelcomePage>("next_button"), Click<StartPage>("start_button"),
                 RecordFinished(finished), Key<ProgressPage>(Qt::Key_Escape)});
  QCOMPARE(app.Run(), 0);
  QVERIFY(driver.finished());
  QCOMPARE(finished.status, QString::fromLatin1(text::kFailure));
  QCOMPARE(rig.sound.requests.load(), 0);
  QCOMPARE(rig.dialogs.messages().size(), size_t{1});
  QCOMPARE(rig.mutexes.held(kDeviceMutexName), 0);
}

namespace {

// The kinds of device real hardware brings, as the wizard meets them.
enum class DeviceKind {
  kCompositeProtocolFirst,
  kCompositeProtocolSecond,
  kSerialGoneInUpdateMode,
  kSerialChangedInUpdateMode,
  kTwoCompositeDevicesOnTwoPorts,
  kSwappedDuringTheReset,
  kSharedSerialWithoutPortFirst,
  kDistinctBeforeSharedSerialWithoutPort,
};

sim::SimDeviceConfig InPort(std::string port, uint32_t interfaces = 1, uint32_t protocol = 0) {
  sim::SimDeviceConfig config;
  config.usb_port = std::move(port);
  config.interfaces = interfaces;
  config.protocol_interface = protocol;
  return config;
}

sim::SimDeviceConfig WithSerial(std::string serial) {
  sim::SimDeviceConfig config;
  config.serial_number = std::move(serial);
  return config;
}

bool HoldsTheSampleProgram(const sim::SimDevice& device) {
  const std::vector<uint8_t> flash = device.FlashImage();
  const uint32_t program_offset = 0x40010000u - 0x40000000u;
  return flash[program_offset + 1] == 7 && flash[program_offset + 2] == 14;
}

}  // namespace

void WizardFlowTest::everyKindOfDeviceGetsTheRightUpdate_data() {
  QTest::addColumn<int>("kind");
  QTest::addColumn<bool>("succeeds");
  QTest::addColumn<int>("updated");  // index of the device written; -1: none; 9: the swapped-in
  QTest::addColumn<QString>("message");
  const QString none;
  QTest::newRow("composite, protocol first")
      << int(DeviceKind::kCompositeProtocolFirst) << true << 0 << none;
  QTest::newRow("composite, protocol second")
      << int(DeviceKind::kCompositeProtocolSecond) << false << -1 << none;
  QTest::newRow("serial gone in update mode")
      << int(DeviceKind::kSerialGoneInUpdateMode) << true << 0 << none;
  QTest::newRow("serial changed in update mode")
      << int(DeviceKind::kSerialChangedInUpdateMode) << true << 0 << none;
  QTest::newRow("two composite devices on two ports")
      << int(DeviceKind::kTwoCompositeDevicesOnTwoPorts) << true << 0 << none;
  QTest::newRow("swapped into the port during the reset")
      << int(DeviceKind::kSwappedDuringTheReset) << true << 9 << none;
  QTest::newRow("two without port sharing a serial, first")
      << int(DeviceKind::kSharedSerialWithoutPortFirst) << false << -1
      << QString::fromLatin1(kIndistinctDevicesText);
  QTest::newRow("a distinct device before two sharing a serial")
      << int(DeviceKind::kDistinctBeforeSharedSerialWithoutPort) << true << 0 << none;
}

// The wizard takes the first entry, as discovery always has, and finds its device again in its
// port after the reset, whatever serial number the device now reports.
void WizardFlowTest::everyKindOfDeviceGetsTheRightUpdate() {
  QFETCH(int, kind);
  QFETCH(bool, succeeds);
  QFETCH(int, updated);
  QFETCH(QString, message);
  WizardRig rig;
  rig.WritePackage();
  std::vector<std::shared_ptr<sim::SimDevice>> devices;
  std::shared_ptr<sim::SimDevice> swapped_in;
  switch (static_cast<DeviceKind>(kind)) {
    case DeviceKind::kCompositeProtocolFirst:
      devices.push_back(rig.bus.Plug(InPort("1-1", 3, 0)));
      break;
    case DeviceKind::kCompositeProtocolSecond:
      devices.push_back(rig.bus.Plug(InPort("1-1", 2, 1)));
      break;
    case DeviceKind::kSerialGoneInUpdateMode:
    case DeviceKind::kSerialChangedInUpdateMode: {
      sim::SimDeviceConfig config = InPort("1-1");
      config.serial_after_reset =
          kind == int(DeviceKind::kSerialGoneInUpdateMode) ? "" : "BOOT";
      devices.push_back(rig.bus.Plug(config));
      break;
    }
    case DeviceKind::kTwoCompositeDevicesOnTwoPorts:
      devices.push_back(rig.bus.Plug(InPort("1-1", 2, 0)));
      devices.push_back(rig.bus.Plug(InPort("1-2", 2, 0)));
      break;
    case DeviceKind::kSwappedDuringTheReset:
      devices.push_back(rig.bus.Plug(InPort("1-1")));
      swapped_in = rig.bus.ReplaceAtReset(devices.front(), sim::SimDeviceConfig{});
      break;
    case DeviceKind::kSharedSerialWithoutPortFirst:
      devices.push_back(rig.bus.Plug(WithSerial("S")));
      devices.push_back(rig.bus.Plug(WithSerial("S")));
      devices.push_back(rig.bus.Plug(WithSerial("X")));
      break;
    case DeviceKind::kDistinctBeforeSharedSerialWithoutPort:
      devices.push_back(rig.bus.Plug(WithSerial("X")));
      devices.push_back(rig.bus.Plug(WithSerial("S")));
      devices.push_back(rig.bus.Plug(WithSerial("S")));
      break;
  }
  UpdateApp app(rig.Dependencies());
  Finished finished;
  Driver driver({Click<WelcomePage>("next_button"), Click<StartPage>("start_button"),
                 RecordFinished(finished), Click<ProgressPage>("quit_button")});
  QCOMPARE(app.Run(), 0);
  QVERIFY(driver.finished());
  QCOMPARE(finished.status, QString::fromLatin1(succeeds ? text::kSuccess : text::kFailure));
  if (!message.isEmpty()) {
    QCOMPARE(rig.dialogs.messages(), std::vector<std::string>{message.toStdString()});
  }
  for (std::size_t i = 0; i < devices.size(); ++i) {
    QVERIFY(devices[i]->Faults().empty());
    QCOMPARE(HoldsTheSampleProgram(*devices[i]), static_cast<int>(i) == updated);
  }
  if (swapped_in) QVERIFY(HoldsTheSampleProgram(*swapped_in));
  if (!message.isEmpty()) {
    for (const auto& device : devices) QVERIFY(device->Commands().empty());
  }
  QCOMPARE(rig.mutexes.held(kDeviceMutexName), 0);
}

void WizardFlowTest::keyOnTheFinishedPageEndsTheWizard_data() {
  QTest::addColumn<int>("key");
  QTest::addColumn<bool>("succeeds");
  QTest::newRow("Return after a success") << int{Qt::Key_Return} << true;
  QTest::newRow("keypad Enter after a success") << int{Qt::Key_Enter} << true;
  QTest::newRow("space after a success") << int{Qt::Key_Space} << true;
  QTest::newRow("Return after a failure") << int{Qt::Key_Return} << false;
  QTest::newRow("space after a failure") << int{Qt::Key_Space} << false;
}

// Once the run has ended, Quit has the focus: the key, sent to the page's window as the keyboard
// sends it, reaches Quit and ends the wizard.
void WizardFlowTest::keyOnTheFinishedPageEndsTheWizard() {
  QFETCH(int, key);
  QFETCH(bool, succeeds);
  WizardRig rig;
  rig.WritePackage();
  sim::SimDeviceConfig config;
  if (!succeeds) config.vanish_report = 60;
  rig.bus.Plug(config);
  UpdateApp app(rig.Dependencies());
  bool quit_focused = false;
  Driver driver({Click<WelcomePage>("next_button"), Click<StartPage>("start_button"),
                 [&] {
                   ProgressPage* page = VisiblePage<ProgressPage>();
                   if (page == nullptr || !Button(page, "quit_button")->isEnabled()) return false;
                   // The window hands a key to the widget that has its focus.
                   quit_focused = page->focusWidget() == Button(page, "quit_button");
                   QTest::keyClick(page->windowHandle(), static_cast<Qt::Key>(key));
                   return true;
                 }});
  QCOMPARE(app.Run(), 0);
  QVERIFY(driver.finished());
  QVERIFY(quit_focused);
  QCOMPARE(app.progress_pages(), uint64_t{1});
  QCOMPARE(rig.mutexes.held(kDeviceMutexName), 0);
}

void WizardFlowTest::sameVersionQuestion_data() {
  QTest::addColumn<bool>("yes");
  QTest::addColumn<bool>("hammer");  // Escape and the close box on the progress page meanwhile
  QTest::addColumn<int>("status");
  QTest::newRow("Yes updates again") << true << false << 0;
  QTest::newRow("No ends with status 1") << false << false << 1;
  QTest::newRow("No, with Escape and the close box, still 1") << false << true << 1;
}

void WizardFlowTest::sameVersionQuestion() {
  QFETCH(bool, yes);
  QFETCH(bool, hammer);
  QFETCH(int, status);
  WizardRig rig;
  rig.WritePackage();
  // The device reports exactly the version the package carries.
  PackageStore loaded;
  RecordingDialogs quiet;
  QVERIFY(LoadPackage(loaded, rig.paths, quiet, rig.random, rig.clock));
  sim::SimDeviceConfig config;
  std::copy_n(loaded.version_record.begin(), 14, config.version.begin());
  auto device = rig.bus.Plug(config);
  rig.dialogs.QueueAnswer(yes);
  UpdateApp app(rig.Dependencies());
  Finished finished;
  std::vector<Driver::Step> steps{Click<WelcomePage>("next_button"), Click<StartPage>("start_button")};
  if (yes) {
    steps.push_back(RecordFinished(finished));
    steps.push_back(Click<ProgressPage>("quit_button"));
  }
  if (hammer) {
    steps.push_back([] {
      if (ProgressPage* page = VisiblePage<ProgressPage>()) {
        QTest::keyClick(page, Qt::Key_Escape);
        page->close();
      }
      return false;  // keeps at it until the wizard has ended
    });
  }
  Driver driver(steps);
  QCOMPARE(app.Run(), status);
  QVERIFY(!driver.stalled());
  QCOMPARE(driver.step(), yes ? size_t{4} : size_t{2});
  QCOMPARE(rig.dialogs.questions().size(), size_t{1});
  if (yes) QCOMPARE(finished.status, QString::fromLatin1(text::kSuccess));
  QCOMPARE(rig.sound.requests.load(), yes ? 1 : 0);
  QVERIFY(app.store().image == nullptr);
  QCOMPARE(rig.mutexes.held(kDeviceMutexName), 0);
}

QTEST_MAIN(WizardFlowTest)
#include "wizard_flow_test.moc"
