#pragma once

#include <span>

#include "ui/dialog_units.h"

namespace qv {

// Where one control of a page sits, by the control's object name.
struct ControlPlacement {
  const char* object_name;
  DluRect rect;
};

// A page's size and control placements in dialog units. The picture control is placed at its
// position only: it takes the bitmap's own size plus its sunken frame.
struct PageTemplate {
  int width;
  int height;
  std::span<const ControlPlacement> controls;
};

inline constexpr const char* kPictureName = "side_picture";

[[nodiscard]] const PageTemplate& WelcomeTemplate();
[[nodiscard]] const PageTemplate& StartTemplate();
[[nodiscard]] const PageTemplate& ProgressTemplate();

}  // namespace qv
