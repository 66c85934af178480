#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace qv {

// A rectangle in dialog units: x and width in quarters of the font's average character width,
// y and height in eighths of its character height.
struct DluRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Pixels per 4 horizontal and per 8 vertical dialog units for one font.
struct DialogBaseUnits {
  int x = 0;
  int y = 0;
};

// The base units of a font: the average width of the 52 Latin letters (rounded) and the
// character height.
[[nodiscard]] DialogBaseUnits BaseUnitsFor(const QFont& font);

[[nodiscard]] QRect DluToPixels(const DluRect& rect, const DialogBaseUnits& units);
[[nodiscard]] QSize DluToPixels(int width, int height, const DialogBaseUnits& units);

}  // namespace qv
