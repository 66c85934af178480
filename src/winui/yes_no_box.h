#pragma once

#include <windows.h>

#include <string>

namespace qv::winui {

// A system message box with Yes and No and the exclamation icon, Yes as default, that only
// these two buttons answer: Escape, Alt+F4 and the close box leave it open. (The system box
// takes Alt+F4 and its close box as Cancel on some systems although it has no Cancel button.)
// System-modal (type MB_YESNO | MB_SYSTEMMODAL, with the icon): it stays on top of every window,
// so a question that holds a device in the middle of its update cannot fall behind another
// program. True for Yes.
[[nodiscard]] bool AskYesNoOnly(HWND owner, const std::wstring& text, const std::wstring& caption);

}  // namespace qv::winui
