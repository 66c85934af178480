// The pages as designed: geometry from dialog units, frame, font, texts, default buttons, tab
// order, Alt shortcuts; the resources; the message boxes and their crossing from the worker.
#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QtEndian>
#include <map>
#include <thread>
#include <vector>

#include "ui/dialog_units.h"
#include "wizard/readme_text.h"
#include "ui/page_appearance.h"
#include "ui/page_templates.h"
#include "ui/progress_page.h"
#include "ui/qt_dialogs.h"
#include "ui/start_page.h"
#include "ui/welcome_page.h"
#include "update/update_texts.h"
#include "wizard_fixture.h"

using namespace qv;
using namespace qv::test;

namespace {

// Pages whose runs end at once with a failure.
struct ContextRig {
  ContextRig() {
    scene.context().run = [](UpdateEnvironment&, ProgressContext&) { return RunResult::kFailed; };
  }
  PageScene scene;
};

// The wizard's three pages, as the tables below name them.
constexpr int kWelcome = 0;
constexpr int kStart = 1;
constexpr int kProgress = 2;

const char* PageName(int id) {
  if (id == kWelcome) return "welcome";
  if (id == kStart) return "start";
  return "progress";
}

// Each template control in pixels for a font of 6 x 13 base units, worked out by hand.
struct PinnedControl {
  int id;
  const char* name;
  QRect pixels;
};
const PinnedControl kSixByThirteen[] = {
    {kWelcome, "next_button", {216, 271, 75, 23}},
    {kWelcome, "cancel_button", {309, 271, 75, 23}},
    {kWelcome, "information_text_box", {131, 36, 257, 202}},
    {kWelcome, "welcome_group", {122, 13, 273, 239}},
    {kStart, "start_button", {330, 268, 75, 23}},
    {kStart, "cancel_button", {420, 268, 75, 23}},
    {kStart, "welcome_group", {122, 13, 374, 239}},
    {kStart, "connect_hint", {129, 177, 351, 13}},
    {kStart, "continuous_mode_checkbox", {128, 211, 360, 16}},
    {kProgress, "other_device_button", {11, 271, 75, 23}},
    {kProgress, "quit_button", {309, 271, 75, 23}},
    {kProgress, "progress_bar", {126, 128, 263, 23}},
    {kProgress, "status_text", {126, 91, 264, 26}},
    {kProgress, "title_text", {119, 11, 272, 13}},
    {kProgress, "next_device_prompt", {126, 172, 252, 13}},
};

// The page sizes for the same font.
QSize PageSizeForSixByThirteen(int id) {
  return id == kStart ? QSize(501, 310) : QSize(401, 310);
}

std::unique_ptr<QDialog> MakePage(int id, PageScene& scene) {
  if (id == kWelcome) return std::make_unique<WelcomePage>(std::string());
  if (id == kStart) return std::make_unique<StartPage>(scene.wizard);
  return std::make_unique<ProgressPage>(scene.context(), scene.rig.sound);
}

const PageTemplate& TemplateOf(int id) {
  if (id == kWelcome) return WelcomeTemplate();
  if (id == kStart) return StartTemplate();
  return ProgressTemplate();
}

QByteArray Resource(const char* name) {
  EnsureUiResources();
  QFile file(QStringLiteral(":/qvupdater/") + QString::fromLatin1(name));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Answers the next message box from inside its own modal loop.
void AnswerNextBox(std::function<void(QMessageBox*)> answer) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, answer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    timer->stop();
    timer->deleteLater();
    answer(box);
  });
  timer->start(5);
}

}  // namespace

class PageTemplateTest : public QObject {
  Q_OBJECT
 private slots:
  void dialogUnitsConvertRounded_data();
  void dialogUnitsConvertRounded();
  void templatesInPixelsForASixByThirteenFont_data();
  void templatesInPixelsForASixByThirteenFont();
  void aControlTheTemplateNamesButThePageLacksIsReported();
  void templatesAgreeWithTheWindowsResourceScript();
  void pagesFollowTheirTemplates_data();
  void pagesFollowTheirTemplates();
  void controls_data();
  void controls();
  void tabOrder_data();
  void tabOrder();
  void altShortcutsPressTheirButtons();
  void enterPressesTheFocusedButton();
  void resourcesHoldThePictureIconSoundAndAbout();
  void informationTextLineEndsAndEncodings_data();
  void informationTextLineEndsAndEncodings();
  void messageBoxesLookAsDesigned();
  void workerBoxesAreShownOnTheUserInterfaceThread();
  void questionIsAnsweredOnlyByYesOrNo_data();
  void questionIsAnsweredOnlyByYesOrNo();
};

void PageTemplateTest::dialogUnitsConvertRounded_data() {
  QTest::addColumn<int>("base_x");
  QTest::addColumn<int>("base_y");
  QTest::addColumn<QRect>("dlu");
  QTest::addColumn<QRect>("pixels");
  QTest::newRow("Next on a 6x13 font")
      << 6 << 13 << QRect(144, 167, 50, 14) << QRect(216, 271, 75, 23);
  QTest::newRow("rounds halves up") << 7 << 13 << QRect(1, 1, 2, 4) << QRect(2, 2, 4, 7);
  QTest::newRow("origin") << 8 << 16 << QRect(0, 0, 79, 155) << QRect(0, 0, 158, 310);
}

void PageTemplateTest::dialogUnitsConvertRounded() {
  QFETCH(int, base_x);
  QFETCH(int, base_y);
  QFETCH(QRect, dlu);
  QFETCH(QRect, pixels);
  const DialogBaseUnits units{base_x, base_y};
  QCOMPARE(DluToPixels(DluRect{dlu.x(), dlu.y(), dlu.width(), dlu.height()}, units), pixels);
}

void PageTemplateTest::templatesInPixelsForASixByThirteenFont_data() {
  QTest::addColumn<int>("id");
  QTest::addColumn<QString>("name");
  QTest::addColumn<QRect>("pixels");
  for (const auto& row : kSixByThirteen) {
    QTest::addRow("%s %s", PageName(row.id), row.name) << row.id << QString::fromLatin1(row.name)
                                             << row.pixels;
  }
}

void PageTemplateTest::templatesInPixelsForASixByThirteenFont() {
  QFETCH(int, id);
  QFETCH(QString, name);
  QFETCH(QRect, pixels);
  const DialogBaseUnits units{6, 13};
  const PageTemplate& layout = TemplateOf(id);
  QCOMPARE(DluToPixels(layout.width, layout.height, units), PageSizeForSixByThirteen(id));
  bool found = false;
  for (const ControlPlacement& placement : layout.controls) {
    if (name != QLatin1String(placement.object_name)) continue;
    found = true;
    QCOMPARE(DluToPixels(placement.rect, units), pixels);
  }
  QVERIFY(found);
}

void PageTemplateTest::aControlTheTemplateNamesButThePageLacksIsReported() {
  QDialog page;
  auto* quit = new QPushButton(&page);
  quit->setObjectName(QStringLiteral("quit_button"));
  const QStringList missing = ApplyPageAppearance(page, ProgressTemplate());
  QCOMPARE(missing, (QStringList{"other_device_button", "side_picture", "progress_bar",
                                 "status_text", "title_text", "next_device_prompt"}));
  // The wizard's own pages carry every control their templates name.
  ContextRig r;
  for (int id : {kWelcome, kProgress, kStart}) {
    auto real = MakePage(id, r.scene);
    QVERIFY2(ApplyPageAppearance(*real, TemplateOf(id)).isEmpty(), qPrintable(QString::number(id)));
  }
}

void PageTemplateTest::pagesFollowTheirTemplates_data() {
  QTest::addColumn<int>("id");
  QTest::newRow("welcome") << kWelcome;
  QTest::newRow("start") << kStart;
  QTest::newRow("progress") << kProgress;
}

void PageTemplateTest::pagesFollowTheirTemplates() {
  QFETCH(int, id);
  ContextRig r;
  auto page = MakePage(id, r.scene);
  const PageTemplate& layout = TemplateOf(id);
  QCOMPARE(page->windowTitle(), QStringLiteral("Updata tools V1.2"));
  const Qt::WindowFlags flags = page->windowFlags();
  QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
  QVERIFY(flags.testFlag(Qt::WindowTitleHint));
  QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
  QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
  QVERIFY(page->parentWidget() == nullptr);
  // The font is a CJK one where installed, at 10 points.
  QCOMPARE(page->font().pointSize(), 10);
  const bool has_song = QFontDatabase::hasFamily(QStringLiteral("宋体")) ||
                        QFontDatabase::hasFamily(QStringLiteral("SimSun"));
  if (!has_song && QFontDatabase::hasFamily(QStringLiteral("WenQuanYi Micro Hei"))) {
    QCOMPARE(page->font().family(), QStringLiteral("WenQuanYi Micro Hei"));
  }
  QCOMPARE(page->findChildren<QPushButton*>().front()->font().family(),
           page->font().family());
  // The page placed itself for its own font: placing it again with that font's units moves
  // nothing.
  QList<QRect> as_built;
  for (QWidget* control : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    as_built << control->geometry();
    // Every control lies inside the page.
    QVERIFY(page->rect().contains(control->geometry()));
  }
  const QSize built_size = page->minimumSize();
  QVERIFY(PlaceTemplateControls(*page, layout, BaseUnitsFor(page->font())).isEmpty());
  QCOMPARE(page->minimumSize(), built_size);
  QList<QRect> placed_again;
  for (QWidget* control : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    placed_again << control->geometry();
  }
  QCOMPARE(placed_again, as_built);
  // For a font of 6 x 13 base units every control lands where the hand-worked table says.
  QVERIFY(PlaceTemplateControls(*page, layout, DialogBaseUnits{6, 13}).isEmpty());
  QCOMPARE(page->minimumSize(), PageSizeForSixByThirteen(id));
  QCOMPARE(page->maximumSize(), page->minimumSize());
  int pinned = 0;
  for (const PinnedControl& row : kSixByThirteen) {
    if (row.id != id) continue;
    ++pinned;
    auto* control = page->findChild<QWidget*>(QString::fromLatin1(row.name));
    QVERIFY2(control != nullptr, row.name);
    QCOMPARE(control->geometry(), row.pixels);
  }
  QCOMPARE(pinned, static_cast<int>(layout.controls.size()) - 1);  // all but the picture
  // The picture keeps its bitmap's size inside a sunken frame, at the page's corner.
  auto* picture = page->findChild<QLabel*>(QString::fromLatin1(kPictureName));
  QVERIFY(picture != nullptr);
  QCOMPARE(picture->pixmap().size(), QSize(136, 250));
  QCOMPARE(picture->frameShadow(), QFrame::Sunken);
  QCOMPARE(picture->pos(), QPoint(0, 0));
  QCOMPARE(picture->size(), QSize(136, 250) + QSize(2, 2) * picture->frameWidth());
}

void PageTemplateTest::controls_data() {
  QTest::addColumn<int>("page");
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("is_default");
  QTest::newRow("welcome Next") << kWelcome << "next_button"
                            << "Next(&N)" << true;
  QTest::newRow("welcome Cancel") << kWelcome << "cancel_button"
                              << "Cancel(&C)" << false;
  QTest::newRow("welcome group") << kWelcome << "welcome_group"
                             << "Welcome to use updata program:" << false;
  QTest::newRow("start Start") << kStart << "start_button"
                             << "Start(&S)" << true;
  QTest::newRow("start Cancel") << kStart << "cancel_button"
                              << "Cancel(&C)" << false;
  QTest::newRow("start group") << kStart << "welcome_group"
                             << "Welcome to use updata program:" << false;
  QTest::newRow("start hint") << kStart << "connect_hint"
                            << "Please connect USB cable to device first" << false;
  QTest::newRow("start checkbox") << kStart << "continuous_mode_checkbox"
                                << "Continuous upgrade mode (suitable for multiple devices ):"
                                << false;
  QTest::newRow("progress Other device") << kProgress << "other_device_button"
                                    << "Other device" << true;
  QTest::newRow("progress Quit") << kProgress << "quit_button"
                            << "Quit(&C)" << false;
  QTest::newRow("progress status") << kProgress << "status_text"
                              << "Progress:" << false;
  QTest::newRow("progress title") << kProgress << "title_text"
                                   << "" << false;
  QTest::newRow("progress prompt") << kProgress << "next_device_prompt"
                              << "" << false;
}

void PageTemplateTest::controls() {
  QFETCH(int, page);
  QFETCH(QString, name);
  QFETCH(QString, text);
  QFETCH(bool, is_default);
  ContextRig r;
  auto dialog = MakePage(page, r.scene);
  QWidget* control = dialog->findChild<QWidget*>(name);
  QVERIFY(control != nullptr);
  if (auto* button = qobject_cast<QPushButton*>(control)) {
    QCOMPARE(button->text(), text);
    QCOMPARE(button->isDefault(), is_default);
  } else if (auto* box = qobject_cast<QCheckBox*>(control)) {
    QCOMPARE(box->text(), text);
    QVERIFY(!box->isChecked());
  } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
    QCOMPARE(group->title(), text);
  } else if (auto* label = qobject_cast<QLabel*>(control)) {
    QCOMPARE(label->text(), text);
  } else {
    QFAIL("unexpected control kind");
  }
}

void PageTemplateTest::tabOrder_data() {
  QTest::addColumn<int>("page");
  QTest::addColumn<QStringList>("order");
  QTest::newRow("welcome") << kWelcome << QStringList{"next_button", "cancel_button", "information_text_box"};
  QTest::newRow("start") << kStart << QStringList{"start_button", "cancel_button", "continuous_mode_checkbox"};
}

void PageTemplateTest::tabOrder() {
  QFETCH(int, page);
  QFETCH(QStringList, order);
  ContextRig r;
  auto dialog = MakePage(page, r.scene);
  QWidget* first = dialog->findChild<QWidget*>(order.front());
  QStringList seen;
  QWidget* widget = first;
  do {
    if (widget->focusPolicy() & Qt::TabFocus) seen << widget->objectName();
    widget = widget->nextInFocusChain();
  } while (widget != first && seen.size() < 10);
  QCOMPARE(seen, order);
  auto* text_box = dialog->findChild<QPlainTextEdit*>(QStringLiteral("information_text_box"));
  if (text_box != nullptr) {
    QVERIFY(text_box->isReadOnly());
    QCOMPARE(text_box->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(text_box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(text_box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(text_box->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    // Enter in the text box stays there; on Next it goes on.
    dialog->setResult(-1);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    text_box->setFocus();
    QTest::keyClick(text_box, Qt::Key_Return);
    QCOMPARE(dialog->result(), -1);
    QTest::keyClick(dialog->findChild<QPushButton*>(QStringLiteral("next_button")), Qt::Key_Return);
    QCOMPARE(dialog->result(), int(kPageNext));
  }
}

void PageTemplateTest::altShortcutsPressTheirButtons() {
  struct Row {
    int page;
    Qt::Key key;
    int result;
  };
  for (const Row& row : {Row{kWelcome, Qt::Key_N, kPageNext}, Row{kWelcome, Qt::Key_C, kPageEnded},
                         Row{kStart, Qt::Key_C, kPageEnded}}) {
    ContextRig r;
    auto dialog = MakePage(row.page, r.scene);
    dialog->setResult(-1);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    QTest::keyClick(dialog->windowHandle(), row.key, Qt::AltModifier);
    QTRY_COMPARE(dialog->result(), row.result);  // a mnemonic animates the click first
  }
  // Alt+S is Start: with no device it only says so.
  ContextRig r;
  auto start = MakePage(kStart, r.scene);
  start->show();
  QVERIFY(QTest::qWaitForWindowActive(start.get()));
  QTest::keyClick(start->windowHandle(), Qt::Key_S, Qt::AltModifier);
  QTRY_COMPARE(r.scene.rig.dialogs.messages(), std::vector<std::string>{text::kNoDevice});
  QVERIFY(start->isVisible());
}

// As in a dialog of the system: Enter presses the button that has the focus, so Enter on a
// focused Cancel ends the wizard instead of going on.
void PageTemplateTest::enterPressesTheFocusedButton() {
  struct Row {
    int page;
    const char* button;
    int result;
  };
  for (const Row& row : {Row{kWelcome, "cancel_button", kPageEnded},
                         Row{kWelcome, "next_button", kPageNext},
                         Row{kStart, "cancel_button", kPageEnded}}) {
    ContextRig r;
    auto dialog = MakePage(row.page, r.scene);
    dialog->setResult(-1);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    auto* button = dialog->findChild<QPushButton*>(QString::fromLatin1(row.button));
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Return);
    QCOMPARE(dialog->result(), row.result);
  }
}

// The Windows wizard's pages (resources/qvupdater.rc) and the Qt pages' templates are the same
// pages: the same sizes, and the same controls at the same places, in the same order.
struct ScriptPage {
  QSize size;
  std::vector<QRect> controls;
};

// The pages of the resource script by their template name: each control statement, its
// continuation lines joined, gives its rectangle as the four numbers its keyword puts them at.
std::map<QString, ScriptPage> PagesOfResourceScript(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  std::map<QString, ScriptPage> pages;
  const QRegularExpression dialog(QStringLiteral(R"(^(\w+)\s+DIALOGEX\s+0,\s*0,\s*(\d+),\s*(\d+))"));
  // Where the rectangle's first number stands among a statement's comma-separated fields.
  const std::map<QString, int> first_number = {
      {"DEFPUSHBUTTON", 2}, {"PUSHBUTTON", 2}, {"LTEXT", 2}, {"GROUPBOX", 2},
      {"EDITTEXT", 1},      {"CONTROL", 4},    {"ICON", 2}};
  ScriptPage* page = nullptr;
  QString statement;
  const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
  for (const QString& raw : lines) {
    const QString line = raw.trimmed();
    if (const auto match = dialog.match(line); match.hasMatch()) {
      page = &pages[match.captured(1)];
      page->size = QSize(match.captured(2).toInt(), match.captured(3).toInt());
      continue;
    }
    if (line == QLatin1String("END")) page = nullptr;
    if (page == nullptr || line.startsWith(QLatin1String("//"))) continue;
    statement += line;
    if (line.endsWith(QLatin1Char(','))) continue;  // continued on the next line
    const QString keyword = statement.section(QLatin1Char(' '), 0, 0);
    const auto at = first_number.find(keyword);
    if (at != first_number.end()) {
      const QStringList fields = statement.mid(keyword.size()).split(QLatin1Char(','));
      const int i = at->second;
      page->controls.emplace_back(fields.value(i).trimmed().toInt(),
                                  fields.value(i + 1).trimmed().toInt(),
                                  fields.value(i + 2).trimmed().toInt(),
                                  fields.value(i + 3).trimmed().toInt());
    }
    statement.clear();
  }
  return pages;
}

void PageTemplateTest::templatesAgreeWithTheWindowsResourceScript() {
  const auto pages = PagesOfResourceScript(QStringLiteral(QT_TESTCASE_SOURCEDIR) +
                                           QStringLiteral("/../../resources/qvupdater.rc"));
  const std::pair<const char*, const PageTemplate*> kPages[] = {
      {"IDD_WELCOME_PAGE", &WelcomeTemplate()},
      {"IDD_START_PAGE", &StartTemplate()},
      {"IDD_PROGRESS_PAGE", &ProgressTemplate()}};
  for (const auto& [name, layout] : kPages) {
    const auto page = pages.find(QString::fromLatin1(name));
    QVERIFY2(page != pages.end(), name);
    QCOMPARE(page->second.size, QSize(layout->width, layout->height));
    QCOMPARE(page->second.controls.size(), layout->controls.size());
    for (std::size_t i = 0; i < layout->controls.size(); ++i) {
      const DluRect& rect = layout->controls[i].rect;
      QCOMPARE(page->second.controls[i], QRect(rect.x, rect.y, rect.width, rect.height));
    }
  }
}

void PageTemplateTest::resourcesHoldThePictureIconSoundAndAbout() {
  const QByteArray picture = Resource("side_picture.bmp");
  QVERIFY(picture.startsWith("BM"));
  QCOMPARE(qFromLittleEndian<quint16>(picture.constData() + 28), quint16{24});
  QImage image;
  QVERIFY(image.loadFromData(picture));
  QCOMPARE(image.size(), QSize(136, 250));

  QImage icon;
  QVERIFY(icon.loadFromData(Resource("app_icon.bmp")));
  QCOMPARE(icon.size(), QSize(32, 32));
  QCOMPARE(icon.colorCount(), 16);

  const QByteArray sound = Resource("success.wav");
  QVERIFY(sound.startsWith("RIFF"));
  QCOMPARE(sound.mid(8, 4), QByteArray("WAVE"));
  QVERIFY(sound.size() < 64 * 1024);

  const QByteArray about = Resource("about_dialog.ui");
  QVERIFY(about.contains("<class>AboutDialog</class>"));
  QVERIFY(about.contains(QStringLiteral("关于 Kite_Update").toUtf8()));
  // Widgets are named for their role, not numbered.
  QVERIFY(about.contains(R"(<widget class="QPushButton" name="ok_button">)"));
  QVERIFY(!about.contains("name=\"control_"));
}

void PageTemplateTest::informationTextLineEndsAndEncodings_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("shown");
  QTest::newRow("CR LF") << QByteArray("\r\n\r\n\r\nA\r\nB\r\n") << QString("\n\n\nA\nB\n");
  QTest::newRow("lone CR") << QByteArray("A\rB") << QString("A\nB");
  QTest::newRow("UTF-8") << QStringLiteral("版本 1.2\r\n").toUtf8() << QStringLiteral("版本 1.2\n");
  QTest::newRow("GB18030") << QByteArray("\xB0\xE6\xB1\xBE") << QStringLiteral("版本");
  QTest::newRow("empty") << QByteArray() << QString();
}

void PageTemplateTest::informationTextLineEndsAndEncodings() {
  QFETCH(QByteArray, bytes);
  QFETCH(QString, shown);
  QCOMPARE(QString::fromStdString(InformationTextForDisplay(bytes.toStdString())), shown);
}

void PageTemplateTest::messageBoxesLookAsDesigned() {
  const QString caption = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
  QCOMPARE(MessageCaption(), caption);
  auto message = MakeMessageBox(QString::fromLatin1(text::kNoDevice), nullptr);
  QCOMPARE(message->windowTitle(), caption);
  QCOMPARE(message->text(), QString::fromLatin1(text::kNoDevice));
  QCOMPARE(message->icon(), QMessageBox::NoIcon);
  QCOMPARE(message->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));

  auto question = MakeQuestionBox(QStringLiteral("It's the latest version"), nullptr);
  QCOMPARE(question->windowTitle(), caption);
  QCOMPARE(question->icon(), QMessageBox::Warning);
  QCOMPARE(question->standardButtons(), QMessageBox::Yes | QMessageBox::No);
  QVERIFY(question->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

void PageTemplateTest::workerBoxesAreShownOnTheUserInterfaceThread() {
  QtDialogs dialogs;
  for (const bool yes : {true, false}) {
    QString text;
    bool on_ui_thread = false;
    AnswerNextBox([&](QMessageBox* box) {
      text = box->text();
      on_ui_thread = box->thread() == QCoreApplication::instance()->thread();
      QTest::mouseClick(box->button(yes ? QMessageBox::Yes : QMessageBox::No), Qt::LeftButton);
    });
    std::atomic<int> answer{-1};
    std::thread worker([&] { answer = dialogs.AskYesNo("Again?") ? 1 : 0; });
    QTRY_VERIFY(answer.load() != -1);
    worker.join();
    QCOMPARE(answer.load(), yes ? 1 : 0);
    QCOMPARE(text, QStringLiteral("Again?"));
    QVERIFY(on_ui_thread);
  }
  // The worker waits until the message has been answered.
  std::atomic<bool> returned{false};
  bool returned_before_ok = true;
  AnswerNextBox([&](QMessageBox* box) {
    QTest::qWait(20);
    returned_before_ok = returned.load();
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
  });
  std::thread worker([&] {
    dialogs.ShowMessage("Send over command faile !");
    returned = true;
  });
  QTRY_VERIFY(returned.load());
  worker.join();
  QVERIFY(!returned_before_ok);
}

void PageTemplateTest::questionIsAnsweredOnlyByYesOrNo_data() {
  QTest::addColumn<QString>("answer");
  QTest::addColumn<bool>("yes");
  QTest::newRow("mouse on Yes") << "click yes" << true;
  QTest::newRow("mouse on No") << "click no" << false;
  QTest::newRow("Alt+Y") << "alt y" << true;
  QTest::newRow("Alt+N") << "alt n" << false;
  QTest::newRow("Enter on Yes, the default") << "enter" << true;
  QTest::newRow("Enter on No after focusing it") << "focus no, enter" << false;
}

// The re-install question through the real box, asked from a worker thread: Escape and the
// close box leave it open; only Yes or No answer it.
void PageTemplateTest::questionIsAnsweredOnlyByYesOrNo() {
  QFETCH(QString, answer);
  QFETCH(bool, yes);
  QtDialogs dialogs;
  bool open_after_escape_and_close = false;
  bool yes_is_default = false;
  AnswerNextBox([&](QMessageBox* box) {
    QVERIFY(QTest::qWaitForWindowActive(box));
    yes_is_default = box->defaultButton() == box->button(QMessageBox::Yes);
    QTest::keyClick(box, Qt::Key_Escape);
    box->close();
    QTest::qWait(20);
    open_after_escape_and_close = box->isVisible();
    if (answer == QLatin1String("click yes")) {
      QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    } else if (answer == QLatin1String("click no")) {
      QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    } else if (answer == QLatin1String("alt y")) {
      QTest::keyClick(box->windowHandle(), Qt::Key_Y, Qt::AltModifier);
    } else if (answer == QLatin1String("alt n")) {
      QTest::keyClick(box->windowHandle(), Qt::Key_N, Qt::AltModifier);
    } else if (answer == QLatin1String("enter")) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    } else {
      box->button(QMessageBox::No)->setFocus();
      QTest::keyClick(box->button(QMessageBox::No), Qt::Key_Return);
    }
  });
  std::atomic<int> result{-1};
  std::thread worker([&] { result = dialogs.AskYesNo(text::kSameVersionQuestion) ? 1 : 0; });
  QTRY_VERIFY_WITH_TIMEOUT(result.load() != -1, 10000);
  worker.join();
  QVERIFY(open_after_escape_and_close);
  QVERIFY(yes_is_default);
  QCOMPARE(result.load(), yes ? 1 : 0);
}

QTEST_MAIN(PageTemplateTest)
#include "page_template_test.moc"
