#include "ui/page_appearance.h"

#include <QFontDatabase>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPixmap>

#include "ui/dialog_units.h"

static void InitQvUpdaterResources() {
  Q_INIT_RESOURCE(qvupdater);
}

namespace qv {
namespace {

constexpr int kPagePointSize = 10;

void PlacePicture(QLabel& picture, const ControlPlacement& placement,
                  const DialogBaseUnits& units) {
  const QPixmap pixmap(QStringLiteral(":/qvupdater/side_picture.bmp"));
  picture.setPixmap(pixmap);
  picture.setFrameStyle(QFrame::Panel | QFrame::Sunken);
  const int border = picture.frameWidth();
  const QRect at = DluToPixels(placement.rect, units);
  picture.setGeometry(at.x(), at.y(), pixmap.width() + 2 * border, pixmap.height() + 2 * border);
}

}  // namespace

QFont PageFont() {
  static const char* const kFamilies[] = {"宋体", "SimSun", "WenQuanYi Micro Hei"};
  for (const char* family : kFamilies) {
    const QString name = QString::fromUtf8(family);
    if (QFontDatabase::hasFamily(name)) {
      QFont font(name);
      font.setPointSize(kPagePointSize);
      return font;
    }
  }
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(kPagePointSize);
  return font;
}

void EnsureUiResources() {
  static const bool done = [] {
    InitQvUpdaterResources();
    return true;
  }();
  (void)done;
}

QStringList ApplyPageAppearance(QDialog& page, const PageTemplate& layout) {
  EnsureUiResources();
  page.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowCloseButtonHint);
  page.setWindowTitle(QString::fromLatin1(kPageCaption));
  page.setWindowIcon(QIcon(QStringLiteral(":/qvupdater/app_icon.bmp")));
  const QFont font = PageFont();
  page.setFont(font);
  return PlaceTemplateControls(page, layout, BaseUnitsFor(font));
}

QStringList PlaceTemplateControls(QDialog& page, const PageTemplate& layout,
                                  const DialogBaseUnits& units) {
  QStringList missing;
  for (const ControlPlacement& placement : layout.controls) {
    const QString name = QString::fromLatin1(placement.object_name);
    auto* control = page.findChild<QWidget*>(name);
    if (control == nullptr) {
      missing << name;
    } else if (name == QLatin1String(kPictureName) && qobject_cast<QLabel*>(control) != nullptr) {
      PlacePicture(*qobject_cast<QLabel*>(control), placement, units);
    } else {
      control->setGeometry(DluToPixels(placement.rect, units));
    }
  }
  page.setFixedSize(DluToPixels(layout.width, layout.height, units));
  return missing;
}

void ApplyPageAppearanceOrAbort(QDialog& page, const PageTemplate& layout) {
  const QStringList missing = ApplyPageAppearance(page, layout);
  if (!missing.isEmpty()) {
    qFatal("page %s lacks the template's controls: %s", qPrintable(page.objectName()),
           qPrintable(missing.join(QLatin1String(", "))));
  }
}

void FitTextHeight(QLabel& label) {
  label.setWordWrap(true);
  const int needed = label.heightForWidth(label.width());
  if (needed > label.height()) label.resize(label.width(), needed);
}

}  // namespace qv
