// The library's questions, asked on the terminal.
//
// Packing asks whether to skip a file it cannot read. kva asks on the
// terminal when it runs interactively; otherwise (or with
// --skip-unreadable) it answers by its flag: skip with the flag, cancel
// without it.
#pragma once

#include "platform/message_box.h"

namespace cli {

// Installed for the process while it lives.
class TerminalMessageBox final : public platform::MessageBoxService {
 public:
  explicit TerminalMessageBox(bool skipUnreadable) : skipUnreadable_(skipUnreadable) {
    platform::SetMessageBoxService(this);
  }
  ~TerminalMessageBox() override { platform::SetMessageBoxService(nullptr); }
  TerminalMessageBox(const TerminalMessageBox&) = delete;
  TerminalMessageBox& operator=(const TerminalMessageBox&) = delete;
  int Show(void* owner, const char16_t* text, const char16_t* caption, unsigned style) override;

 private:
  bool skipUnreadable_;
};

}  // namespace cli
