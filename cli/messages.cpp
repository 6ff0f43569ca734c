#include "cli/messages.h"

#include <cstdio>

#include "cli/progress.h"

namespace cli {

void PrintError(const std::string& message) {
  ClearProgressLine();
  std::fprintf(stderr, "kva: %s\n", message.c_str());
}

void PrintNote(const std::string& message) {
  ClearProgressLine();
  std::fprintf(stderr, "%s\n", message.c_str());
}

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

}  // namespace cli
