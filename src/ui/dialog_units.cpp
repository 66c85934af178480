#include "ui/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace qv {
namespace {

// Rounded a * b / c, as the classic dialog-unit conversion does.
int ScaleRounded(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

DialogBaseUnits BaseUnitsFor(const QFont& font) {
  const QFontMetrics metrics(font);
  static const QString kLetters =
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int letters_width = metrics.horizontalAdvance(kLetters);
  DialogBaseUnits units;
  units.x = (letters_width / 26 + 1) / 2;
  units.y = metrics.height();
  if (units.x < 1) units.x = 1;
  if (units.y < 1) units.y = 1;
  return units;
}

QRect DluToPixels(const DluRect& rect, const DialogBaseUnits& units) {
  return QRect(ScaleRounded(rect.x, units.x, 4), ScaleRounded(rect.y, units.y, 8),
               ScaleRounded(rect.width, units.x, 4), ScaleRounded(rect.height, units.y, 8));
}

QSize DluToPixels(int width, int height, const DialogBaseUnits& units) {
  return QSize(ScaleRounded(width, units.x, 4), ScaleRounded(height, units.y, 8));
}

}  // namespace qv
