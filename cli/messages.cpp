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

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

}  // namespace cli
