// Start without a device the wizard may take: the message box says "No device, please connect
// usb cable to device !", with one more line naming the cause and the udev rule only when a
// device is plugged in that this user may not open, or the reason the system could not list the
// devices at all.
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "device/hid_link.h"
#include "device_rule.h"
#include "ui/start_page.h"
#include "ui/welcome_page.h"
#include "wizard_fixture.h"

using namespace qv;
using namespace qv::test;

namespace {

template <typename Page>
Driver::Step Click(const char* name) {
  return [name] {
    Page* page = VisiblePage<Page>();
    if (page == nullptr) return false;
    QTest::mouseClick(page->template findChild<QPushButton*>(QString::fromLatin1(name)),
                      Qt::LeftButton);
    return true;
  };
}

enum class Attached { kNothing, kRefusedDevice, kDeviceHeldElsewhere, kListUnreadable };

}  // namespace

Q_DECLARE_METATYPE(Attached)

class NoDeviceMessageTest : public QObject {
  Q_OBJECT
 private slots:
  void startTellsWhyNoDeviceWasTaken_data();
  void startTellsWhyNoDeviceWasTaken();
};

void NoDeviceMessageTest::startTellsWhyNoDeviceWasTaken_data() {
  QTest::addColumn<Attached>("attached");
  QTest::addColumn<bool>("rule_installed");
  QTest::addColumn<QString>("second_line");  // empty: the message is the one line

  QTest::newRow("nothing attached") << Attached::kNothing << false << QString();
  QTest::newRow("held by another updater process")
      << Attached::kDeviceHeldElsewhere << false << QString();
  QTest::newRow("may not be opened, no rule")
      << Attached::kRefusedDevice << false
      << QStringLiteral("install the udev rule /etc/udev/rules.d/70-qvupdater.rules");
  QTest::newRow("the list of devices cannot be read")
      << Attached::kListUnreadable << false
      << QStringLiteral("The list of attached devices cannot be read: the simulated bus cannot "
                        "list its devices");
  QTest::newRow("may not be opened, rule installed")
      << Attached::kRefusedDevice << true << QStringLiteral("unplug it and plug it in again");
}

void NoDeviceMessageTest::startTellsWhyNoDeviceWasTaken() {
  QFETCH(Attached, attached);
  QFETCH(bool, rule_installed);
  QFETCH(QString, second_line);

  WizardRig rig;
  rig.WritePackage();
  const std::filesystem::path rules = rig.dir.path().toStdString() + "/rules.d";
  std::filesystem::create_directories(rules);
  if (rule_installed) std::ofstream(rules / kDeviceRuleFileName) << kDeviceRuleText;
  UpdateAppDependencies dependencies = rig.Dependencies();
  dependencies.device_rules = {{rules}, {}};

  sim::SimDeviceConfig config;
  config.open_refused = attached == Attached::kRefusedDevice;
  if (attached != Attached::kNothing) rig.bus.Plug(config);
  rig.bus.SetEnumerationFails(attached == Attached::kListUnreadable);
  NamedMutexResult elsewhere;
  if (attached == Attached::kDeviceHeldElsewhere) elsewhere = rig.mutexes.Create(kDeviceMutexName);

  UpdateApp app(dependencies);
  Driver driver({Click<WelcomePage>("next_button"), Click<StartPage>("start_button"),
                 [&] { return !rig.dialogs.messages().empty(); },
                 Click<StartPage>("cancel_button")});
  QCOMPARE(app.Run(), 0);
  QVERIFY(driver.finished());

  QCOMPARE(rig.dialogs.messages().size(), size_t{1});
  const QString message = QString::fromStdString(rig.dialogs.messages().front());
  const QStringList lines = message.split(QLatin1Char('\n'));
  QCOMPARE(lines.front(), QStringLiteral("No device, please connect usb cable to device !"));
  if (second_line.isEmpty()) {
    QCOMPARE(lines.size(), 1);
    return;
  }
  QCOMPARE(lines.size(), 2);
  if (attached == Attached::kListUnreadable) {
    QCOMPARE(lines[1], second_line);
    return;
  }
  QVERIFY2(lines[1].contains(QStringLiteral("plugged in, but this user may not open it")),
           qPrintable(lines[1]));
  QVERIFY2(lines[1].contains(second_line), qPrintable(lines[1]));
  if (rule_installed) {
    QVERIFY(lines[1].contains(QString::fromStdString((rules / kDeviceRuleFileName).string())));
  }
}

QTEST_MAIN(NoDeviceMessageTest)
#include "no_device_message_test.moc"
