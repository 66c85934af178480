#include "winui/message_boxes.h"

#include "platform/program_file.h"
#include "platform/windows_text.h"
#include "winui/yes_no_box.h"

namespace qv::winui {

std::wstring MessageCaption() {
  const std::wstring stem = RunningProgramFile().stem().wstring();
  return stem.empty() ? L"qvupdater" : stem;
}

void ShowMessageBox(HWND owner, std::string_view text) {
  const std::wstring caption = MessageCaption();
  MessageBoxW(owner, WideFromUtf8(text).c_str(), caption.c_str(), MB_OK);
}

bool AskYesNoBox(HWND owner, std::string_view text) {
  return AskYesNoOnly(owner, WideFromUtf8(text), MessageCaption());
}

void ShowRequestedBox(HWND owner, MessageBoxRequest& request) {
  if (request.question) {
    request.yes = AskYesNoBox(owner, request.text);
  } else {
    ShowMessageBox(owner, request.text);
  }
}

}  // namespace qv::winui
