// qvupdater's command line: what it asks for, and which package and readme the wizard then
// reads, with a package file, a folder or no argument at all.
#include "wizard/wizard_command_line.h"

#include <QDir>
#include <QFileDialog>
#include <QDialogButtonBox>
#include <QStandardPaths>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <optional>

#include "ui/package_chooser.h"
#include "ui/welcome_page.h"
#include "wizard_fixture.h"

using namespace qv;
using namespace qv::test;

namespace {

void WriteText(const QString& path, const std::string& text) {
  WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// Runs the wizard on the given paths up to its welcome page and cancels there. Returns the
// exit status; `shown` gets the welcome page's text and `data_length` the loaded package's size.
int RunToWelcomePage(WizardRig& rig, const PackagePaths& paths, QString& shown,
                     uint32_t& data_length) {
  rig.paths = paths;
  UpdateApp app(rig.Dependencies());
  Driver driver({[&] {
    WelcomePage* page = VisiblePage<WelcomePage>();
    if (page == nullptr) return false;
    shown = page->findChild<QPlainTextEdit*>(QStringLiteral("information_text_box"))->toPlainText();
    data_length = app.store().data_length;
    QTest::mouseClick(page->findChild<QPushButton*>(QStringLiteral("cancel_button")), Qt::LeftButton);
    return true;
  }});
  return app.Run();
}

}  // namespace

class WizardCommandLineTest : public QObject {
  Q_OBJECT
 private slots:
  void readsThePackageFromWhereItIsNamed_data();
  void readsThePackageFromWhereItIsNamed();
  void aPathWithoutPackageEndsWithTheLoadMessages();
  void chooserStartsInDownloadsWhereItExists();
  void chooserCancelledAsksNothingMore();
  void chosenFileOpensTheWelcomePageWithItsReadme();
};

// Two complete package folders that differ in package size and readme: "beside" stands for the
// program's own folder, "elsewhere" for where the user keeps a package (under another name).
void WizardCommandLineTest::readsThePackageFromWhereItIsNamed_data() {
  QTest::addColumn<QString>("argument");  // relative to the test folder; empty: no argument
  QTest::addColumn<QString>("readme_line");
  QTest::addColumn<uint>("program_bytes");

  QTest::newRow("no argument: the program's folder") << QString() << "Beside the program" << 6000u;
  QTest::newRow("a folder") << "elsewhere"
                            << "Kept elsewhere" << 7000u;
  QTest::newRow("a folder, trailing separator") << "elsewhere/"
                                                << "Kept elsewhere" << 7000u;
  QTest::newRow("a package file under another name") << "elsewhere/renamed.Bin"
                                                     << "Kept elsewhere" << 8000u;
}

void WizardCommandLineTest::readsThePackageFromWhereItIsNamed() {
  QFETCH(QString, argument);
  QFETCH(QString, readme_line);
  QFETCH(uint, program_bytes);

  WizardRig rig;
  const QString root = rig.dir.path();
  QVERIFY(QDir(root).mkpath(QStringLiteral("beside")));
  QVERIFY(QDir(root).mkpath(QStringLiteral("elsewhere")));
  WriteFile(root + "/beside/QVUpdate.Bin", SamplePackageFile(6000));
  WriteText(root + "/beside/readme.txt", "Beside the program\r\n");
  WriteFile(root + "/elsewhere/QVUpdate.Bin", SamplePackageFile(7000));
  WriteFile(root + "/elsewhere/renamed.Bin", SamplePackageFile(8000));
  WriteText(root + "/elsewhere/readme.txt", "Kept elsewhere\n");

  std::vector<std::string> arguments;
  if (!argument.isEmpty()) arguments.push_back(QFile::encodeName(root + "/" + argument).toStdString());
  const WizardCommandLine command_line = ParseWizardCommandLine(arguments);
  QCOMPARE(command_line.action, WizardCommandLine::Action::kRun);
  const PackagePaths paths =
      WizardPackagePaths(command_line.package_location, (root + "/beside/").toStdString());

  QString shown;
  uint32_t data_length = 0;
  QCOMPARE(RunToWelcomePage(rig, paths, shown, data_length), 0);
  QVERIFY2(shown.contains(readme_line), qPrintable(shown));
  // The packages differ in size; the one read is the one whose data length the store holds.
  QCOMPARE(data_length, static_cast<uint32_t>(SamplePackageFile(program_bytes).size() - 1024));
  QVERIFY(rig.dialogs.messages().empty());
}

// A PATH that names nothing is a package that cannot be opened: the load's own two messages,
// then exit status 1 before any page, as for a missing package beside the program.
void WizardCommandLineTest::aPathWithoutPackageEndsWithTheLoadMessages() {
  WizardRig rig;
  const std::filesystem::path missing = rig.dir.path().toStdString() + "/nowhere/QVUpdate.Bin";
  QString shown;
  uint32_t data_length = 0;
  QCOMPARE(RunToWelcomePage(rig, WizardPackagePaths(missing, "/unused/"), shown, data_length), 1);
  // Each box names the file it tried.
  const std::string detail = missing.string() + ": No such file or directory";
  const std::vector<std::string> expected{"Open updata file faile !\n" + detail,
                                          "No updata file ,please download again !\n" + detail};
  QCOMPARE(rig.dialogs.messages(), expected);
  QVERIFY(shown.isEmpty());
}

namespace {

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const QByteArray& value)
      : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
    qputenv(name, value);
  }
  ~ScopedEnvironment() {
    if (had_) {
      qputenv(name_, old_);
    } else {
      qunsetenv(name_);
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  bool had_;
  QByteArray old_;
};

// Asks for the package and lets `act` handle the dialog once it shows (its folder is kept).
std::optional<std::filesystem::path> AskWith(const std::function<void(QFileDialog&)>& act,
                                             QString& folder_shown, QStringList& filters) {
  Driver driver({[&] {
    auto* dialog = VisiblePage<QFileDialog>();
    if (dialog == nullptr) return false;
    folder_shown = dialog->directory().absolutePath();
    filters = dialog->nameFilters();
    act(*dialog);
    return true;
  }});
  auto chosen = AskForPackageFile(PackageChooserStartFolder());
  if (!driver.finished()) qWarning("the package dialog was never shown");
  return chosen;
}

}  // namespace

// The dialog opens in the user's Downloads folder while there is one, else in the home folder.
void WizardCommandLineTest::chooserStartsInDownloadsWhereItExists() {
  QTemporaryDir home;
  QTemporaryDir config;  // no user-dirs.dirs: Downloads is the usual folder under home
  ScopedEnvironment set_home("HOME", home.path().toLocal8Bit());
  ScopedEnvironment set_config("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QCOMPARE(PackageChooserStartFolder(), home.path());
  QVERIFY(QDir(home.path()).mkdir(QStringLiteral("Downloads")));
  QCOMPARE(PackageChooserStartFolder(), home.path() + "/Downloads");
}

// Cancel in the dialog gives no package: the program then ends with status 0 and shows nothing.
void WizardCommandLineTest::chooserCancelledAsksNothingMore() {
  QTemporaryDir home;
  QTemporaryDir config;
  ScopedEnvironment set_home("HOME", home.path().toLocal8Bit());
  ScopedEnvironment set_config("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QVERIFY(QDir(home.path()).mkdir(QStringLiteral("Downloads")));
  QString folder;
  QStringList filters;
  const auto chosen =
      AskWith([](QFileDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); }, folder,
              filters);
  QVERIFY(!chosen.has_value());
  QCOMPARE(folder, home.path() + "/Downloads");
  QCOMPARE(filters, (QStringList{QStringLiteral("Update packages (QVUpdate.Bin *.Bin)"),
                                 QStringLiteral("All files (*)")}));
}

// A file picked in the dialog (under any name) and opened is the package: the welcome page shows
// it with the readme of its own folder.
void WizardCommandLineTest::chosenFileOpensTheWelcomePageWithItsReadme() {
  WizardRig rig;
  const QString folder = rig.dir.path() + "/downloaded";
  QVERIFY(QDir().mkpath(folder));
  WriteFile(folder + "/update-2.bin", SamplePackageFile(7000));
  WriteText(folder + "/readme.txt", "Chosen package\r\n");
  QString folder_shown;
  QStringList filters;
  const auto chosen = AskWith(
      [&](QFileDialog& dialog) {
        dialog.selectFile(folder + "/update-2.bin");
        auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
      },
      folder_shown, filters);
  QVERIFY(chosen.has_value());
  QCOMPARE(QString::fromStdString(chosen->string()), folder + "/update-2.bin");

  QString shown;
  uint32_t data_length = 0;
  QCOMPARE(RunToWelcomePage(rig, WizardPackagePaths(chosen, "/unused/"), shown, data_length), 0);
  QVERIFY2(shown.contains(QStringLiteral("Chosen package")), qPrintable(shown));
  QCOMPARE(data_length, static_cast<uint32_t>(SamplePackageFile(7000).size() - 1024));
  QVERIFY(rig.dialogs.messages().empty());
}

QTEST_MAIN(WizardCommandLineTest)
#include "wizard_command_line_test.moc"
