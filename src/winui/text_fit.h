#pragma once

#include <windows.h>

namespace qv::winui {

// Makes a static text control tall enough for its text wrapped at the control's width, so a text
// longer than its one-line template is not cut off. Never shrinks the control.
void FitTextHeight(HWND control);

}  // namespace qv::winui
