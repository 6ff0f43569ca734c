#include "cli/terminal_message_box.h"

#include <string>

#include "cli/command_support.h"
#include "cli/kva_strings.h"
#include "cli/messages.h"
#include "platform/console.h"
#include "platform/device_path.h"
#include "platform/wide_string.h"

namespace cli {
namespace {

constexpr std::uint32_t kReadErrorText = 61413;  // the library's "cannot read" question

std::string ToUtf8(const std::u16string& text) {
  char buffer[2048];
  if (!platform::Utf16ToUtf8(text.data(), text.size(), buffer, sizeof buffer)) return "";
  return buffer;
}

// The library's texts name files by their device paths. The one question
// that does, built from kva's text 61413 ("... %s:\n%s"), gets its path
// shown as the user writes it on this host; nothing else is touched.
std::string Shown(const char16_t* text) {
  std::u16string shown(text);
  char16_t format[256];
  platform::LoadString(KvaInstance(), kReadErrorText, format);
  std::u16string pattern(format);
  std::size_t first = pattern.find(u"%s");
  std::size_t second = first == std::u16string::npos ? first : pattern.find(u"%s", first + 2);
  if (second == std::u16string::npos) return ToUtf8(shown);
  std::u16string before = pattern.substr(0, first);
  std::u16string after = pattern.substr(first + 2, second - first - 2);
  if (shown.compare(0, before.size(), before) != 0) return ToUtf8(shown);
  // The path ends where the error's text begins, or with the text when
  // the library had to cut it.
  std::size_t end = shown.rfind(after);
  if (end == std::u16string::npos || end < before.size()) end = shown.size();
  std::u16string path = shown.substr(before.size(), end - before.size());
  return ToUtf8(before) + DisplayPath(path.c_str()) + ToUtf8(shown.substr(end));
}

bool AskYesNo(const char* question) {
  char answer[16] = {};
  std::string prompt = std::string(question) + " [y/N] ";
  return platform::AskLine(prompt.c_str(), answer, sizeof answer) &&
         (answer[0] == 'y' || answer[0] == 'Y');
}

}  // namespace

int TerminalMessageBox::Show(void*, const char16_t* text, const char16_t* caption,
                             unsigned style) {
  PrintError(OneLine(Shown(caption) + ": " + Shown(text)));
  switch (style & platform::kButtonsMask) {
    case platform::kButtonsOkCancel:
      if (skipUnreadable_) {
        PrintNote("skipped (--skip-unreadable)");
        return platform::kAnswerOk;
      }
      if (AskYesNo("Skip this file and go on?")) return platform::kAnswerOk;
      PrintNote("cancelled (use --skip-unreadable to leave such files out)");
      return platform::kAnswerCancel;
    case platform::kButtonsYesNo:
      return AskYesNo("Yes?") ? platform::kAnswerYes : platform::kAnswerNo;
    default:
      return platform::kAnswerOk;
  }
}

}  // namespace cli
