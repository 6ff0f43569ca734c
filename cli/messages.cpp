#include "cli/messages.h"

#include <cstdio>

#include "cli/terminal_progress.h"
#include "platform/device_path.h"
#include "platform/files.h"

namespace cli {

void PrintError(const std::string& message) {
  ClearProgressLine();
  std::fprintf(stderr, "kva: %s\n", message.c_str());
}

void PrintNote(const std::string& message) { PrintError(message); }

std::string OneLine(const std::string& text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    char escape[8];
    if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      // A C1 control (U+0080 to U+009F, two bytes in UTF-8): U+009B, say,
      // starts a terminal's control sequence as ESC [ does.
      std::snprintf(escape, sizeof escape, "\\u%04x", next);
      line += escape;
      ++i;
    } else if (byte >= 0x20 && byte != 0x7f) {
      line += text[i];
    } else if (byte == '\n') {
      line += "\\n";
    } else if (byte == '\t') {
      line += "\\t";
    } else if (byte == '\r') {
      line += "\\r";
    } else {
      std::snprintf(escape, sizeof escape, "\\x%02x", byte);
      line += escape;
    }
  }
  return line;
}

std::string Quoted(const std::string& path) {
  std::string quoted(1, '\'');
  quoted += OneLine(path);
  quoted += '\'';
  return quoted;
}

std::string Count(std::size_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string ErrorText(int error) {
  char16_t text[256];
  char utf8[1024];
  platform::ErrorText(error, text, 256);
  return platform::Utf16ToUtf8(text, platform::WideLength(text), utf8, sizeof utf8) ? utf8 : "";
}

std::string LastErrorText() { return ErrorText(platform::LastError()); }

}  // namespace cli
