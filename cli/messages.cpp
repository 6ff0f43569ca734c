#include "cli/messages.h"

#include <cstdio>

#include "cli/progress.h"
#include "platform/device_path.h"
#include "platform/files.h"

namespace cli {

void PrintError(const std::string& message) {
  ClearProgressLine();
  std::fprintf(stderr, "kva: %s\n", message.c_str());
}

void PrintNote(const std::string& message) {
  ClearProgressLine();
  std::fprintf(stderr, "%s\n", message.c_str());
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

std::string LastErrorText() {
  char16_t text[256];
  char utf8[1024];
  platform::ErrorText(platform::LastError(), text, 256);
  return platform::Utf16ToUtf8(text, platform::WideLength(text), utf8, sizeof utf8) ? utf8 : "";
}

}  // namespace cli
