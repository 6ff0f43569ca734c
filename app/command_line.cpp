#include "app/command_line.h"

#include <algorithm>

#include "platform/device_path.h"

namespace app {
namespace {

void Reverse(char16_t* text) { std::reverse(text, text + platform::WideLength(text)); }

void DropTrailingQuote(char16_t* text) {
  std::size_t length = platform::WideLength(text);
  if (length > 0 && text[length - 1] == u'"') text[length - 1] = u'\0';
}

}  // namespace

bool HostPathToDevice(const std::string& hostPath, char16_t (&devicePath)[platform::kMaxPath]) {
  // Host paths are UTF-8 whatever the system's own code page; the platform
  // makes them full paths as the host reads them.
  return platform::TypedToDevicePath(hostPath.c_str(), devicePath) ==
         platform::TypedPathProblem::kNone;
}

bool HostTextToDevice(const char16_t* text, std::size_t length,
                      char16_t (&devicePath)[platform::kMaxPath]) {
  char host[platform::kMaxHostPath];
  devicePath[0] = u'\0';
  return platform::Utf16ToUtf8(text, length, host, sizeof host) && HostPathToDevice(host, devicePath);
}

CommandLine ReadCommandLine(const char* commandLine, char16_t (&path)[platform::kMaxPath]) {
  path[0] = u'\0';
  std::string text = commandLine;
  if (text == "--help") return CommandLine::kHelp;
  if (text == "--version") return CommandLine::kVersion;
  if (text.rfind("-- ", 0) == 0) {
    text.erase(0, 3);
  } else if (!text.empty() && text.front() == '-') {
    return CommandLine::kUnknownOption;
  }
  // Shells and file managers put a path with blanks in double quotes; the
  // quotes belong to the command line, not to the file's name, so one is
  // taken off each end, as when the destination is derived.
  if (!text.empty() && text.front() == '"') text.erase(0, 1);
  if (!text.empty() && text.back() == '"') text.pop_back();
  if (text.empty()) return CommandLine::kNoFile;
  return HostPathToDevice(text, path) ? CommandLine::kFile : CommandLine::kBadPath;
}

void MainWindowTitle(const char16_t* sourcePath, const char16_t* programName, char16_t* title,
                     std::size_t capacity) {
  const char16_t* name = sourcePath;
  for (const char16_t* c = sourcePath; *c != u'\0'; ++c) {
    if (*c == u'\\') name = c + 1;
  }
  platform::HostPathForDisplay(name, title, capacity);
  platform::WideAppend(title, capacity, u" — ");
  platform::WideAppend(title, capacity, programName);
}

void DeriveDestination(const char16_t* commandLine, const char16_t* fallback,
                       char16_t (&destination)[platform::kMaxPath]) {
  char16_t unquoted[platform::kMaxPath];
  platform::WideCopy(unquoted, commandLine);
  if (unquoted[0] != u'\0') {
    DropTrailingQuote(unquoted);
    Reverse(unquoted);
    DropTrailingQuote(unquoted);
    Reverse(unquoted);
  }
  if (unquoted[0] == u'\0') {
    platform::WideCopy(destination, fallback);
    return;
  }
  platform::WideCopy(destination, unquoted);
  char16_t* lastBackslash = nullptr;
  for (char16_t* c = destination; *c != u'\0'; ++c) {
    if (*c == u'\\') lastBackslash = c;
  }
  if (lastBackslash == nullptr) return;
  if (lastBackslash == destination) {
    destination[1] = u'\0';  // the root folder
  } else {
    *lastBackslash = u'\0';
  }
}

}  // namespace app
