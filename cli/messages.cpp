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
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
      line += c;
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\t') {
      line += "\\t";
    } else if (c == '\r') {
      line += "\\r";
    } else {
      char escape[8];
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

std::string LastErrorText() {
  char16_t text[256];
  char utf8[1024];
  platform::ErrorText(platform::LastError(), text, 256);
  return platform::Utf16ToUtf8(text, platform::WideLength(text), utf8, sizeof utf8) ? utf8 : "";
}

}  // namespace cli
