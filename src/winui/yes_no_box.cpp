#include "winui/yes_no_box.h"

#include <commctrl.h>

namespace qv::winui {
namespace {

constexpr UINT_PTR kSubclassId = 1;

// The question box's own window procedure in front of the dialog manager's: every way of
// cancelling it is dropped before it arrives.
LRESULT CALLBACK WithoutCancel(HWND box, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                               DWORD_PTR) {
  if (message == WM_CLOSE) return 0;
  if (message == WM_SYSCOMMAND && (wparam & 0xFFF0) == SC_CLOSE) return 0;
  if (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) return 0;
  if (message == WM_NCDESTROY) RemoveWindowSubclass(box, &WithoutCancel, kSubclassId);
  return DefSubclassProc(box, message, wparam, lparam);
}

// The question box is the first dialog window this thread activates after the hook is set.
thread_local HHOOK question_hook = nullptr;
thread_local bool question_box_found = false;

LRESULT CALLBACK FindQuestionBox(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE && !question_box_found) {
    const auto box = reinterpret_cast<HWND>(wparam);
    wchar_t class_name[16] = {};
    GetClassNameW(box, class_name, 16);
    if (lstrcmpW(class_name, L"#32770") == 0) {
      question_box_found = true;
      SetWindowSubclass(box, &WithoutCancel, kSubclassId, 0);
      EnableMenuItem(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    }
  }
  return CallNextHookEx(question_hook, code, wparam, lparam);
}

}  // namespace

bool AskYesNoOnly(HWND owner, const std::wstring& text, const std::wstring& caption) {
  question_box_found = false;
  question_hook = SetWindowsHookExW(WH_CBT, &FindQuestionBox, nullptr, GetCurrentThreadId());
  int answer = 0;
  do {
    answer = MessageBoxW(owner, text.c_str(), caption.c_str(),
                         MB_YESNO | MB_SYSTEMMODAL | MB_ICONWARNING | MB_DEFBUTTON1);
    // Without the hook a cancel can still get through; the question is then asked again.
  } while (answer != IDYES && answer != IDNO && answer != 0);
  if (question_hook != nullptr) UnhookWindowsHookEx(question_hook);
  question_hook = nullptr;
  return answer == IDYES;
}

}  // namespace qv::winui
