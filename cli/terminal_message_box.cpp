#include "cli/terminal_message_box.h"

#include <string>

#include "cli/messages.h"
#include "cli/system.h"
#include "platform/device_path.h"
#include "platform/wide_string.h"

namespace cli {
namespace {

std::string ToUtf8(const char16_t* text) {
  char buffer[2048];
  if (!platform::Utf16ToUtf8(text, platform::WideLength(text), buffer, sizeof buffer)) return "";
  std::string utf8 = buffer;
  // Device paths in messages are shown as host paths.
  for (char& c : utf8) {
    if (c == '\\') c = kHostSeparator;
  }
  return utf8;
}

}  // namespace

int TerminalMessageBox::Show(void*, const char16_t* text, const char16_t* caption,
                             unsigned style) {
  PrintError(ToUtf8(caption) + ": " + ToUtf8(text));
  switch (style & platform::kButtonsMask) {
    case platform::kButtonsOkCancel:
      if (skipUnreadable_) {
        PrintNote("    skipped (--skip-unreadable)");
        return platform::kAnswerOk;
      }
      if (AskYesNo("Skip this file and go on?")) return platform::kAnswerOk;
      PrintNote("    cancelled (use --skip-unreadable to leave such files out)");
      return platform::kAnswerCancel;
    case platform::kButtonsYesNo:
      return AskYesNo("Yes?") ? platform::kAnswerYes : platform::kAnswerNo;
    default:
      return platform::kAnswerOk;
  }
}

}  // namespace cli
