#include "cli/terminal_message_box.h"

#include <cstdio>
#include <string>
#include <unistd.h>

#include "cli/messages.h"
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
    if (c == '\\') c = '/';
  }
  return utf8;
}

// Asks a yes/no question on the controlling terminal; false (no) when
// there is none to ask on.
bool AskTerminal(const char* question) {
  if (::isatty(STDIN_FILENO) == 0) return false;
  std::FILE* terminal = std::fopen("/dev/tty", "r+");
  if (terminal == nullptr) return false;
  std::fprintf(terminal, "%s [y/N] ", question);
  std::fflush(terminal);
  char answer[16] = {};
  bool yes = std::fgets(answer, sizeof answer, terminal) != nullptr &&
             (answer[0] == 'y' || answer[0] == 'Y');
  std::fclose(terminal);
  return yes;
}

}  // namespace

int TerminalMessageBox::Show(void*, const char16_t* text, const char16_t* caption,
                             unsigned style) {
  PrintError(OneLine(ToUtf8(caption) + ": " + ToUtf8(text)));
  switch (style & platform::kButtonsMask) {
    case platform::kButtonsOkCancel:
      if (skipUnreadable_) {
        PrintNote("    skipped (--skip-unreadable)");
        return platform::kAnswerOk;
      }
      if (AskTerminal("Skip this file and go on?")) return platform::kAnswerOk;
      PrintNote("    cancelled (use --skip-unreadable to leave such files out)");
      return platform::kAnswerCancel;
    case platform::kButtonsYesNo:
      return AskTerminal("Yes?") ? platform::kAnswerYes : platform::kAnswerNo;
    default:
      return platform::kAnswerOk;
  }
}

}  // namespace cli
