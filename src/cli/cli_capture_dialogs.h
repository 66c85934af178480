#pragma once

#include <string>
#include <string_view>

#include "platform/dialogs.h"

namespace qv::cli {

// Passes everything on to another Dialogs and keeps the last message shown, so a command can
// also report that message in its own output.
class CaptureDialogs final : public Dialogs {
 public:
  explicit CaptureDialogs(Dialogs& inner) : inner_(inner) {}
  void ShowMessage(std::string_view text) override {
    last_message_ = text;
    inner_.ShowMessage(text);
  }
  [[nodiscard]] bool AskYesNo(std::string_view text) override { return inner_.AskYesNo(text); }
  [[nodiscard]] const std::string& last_message() const { return last_message_; }

 private:
  Dialogs& inner_;
  std::string last_message_;
};

}  // namespace qv::cli
