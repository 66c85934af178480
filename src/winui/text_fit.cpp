#include "winui/text_fit.h"

#include <string>

namespace qv::winui {

void FitTextHeight(HWND control) {
  RECT placed{};
  GetWindowRect(control, &placed);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&placed), 2);
  const int width = placed.right - placed.left;
  const int height = placed.bottom - placed.top;

  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  GetWindowTextW(control, text.data(), static_cast<int>(text.size()));

  const HDC dc = GetDC(control);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  const HGDIOBJ old_font = font != nullptr ? SelectObject(dc, font) : nullptr;
  RECT needed{0, 0, width, 0};
  // The flags a left-aligned static text draws with.
  DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
  if (old_font != nullptr) SelectObject(dc, old_font);
  ReleaseDC(control, dc);

  if (needed.bottom > height) {
    SetWindowPos(control, nullptr, 0, 0, width, needed.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

}  // namespace qv::winui
