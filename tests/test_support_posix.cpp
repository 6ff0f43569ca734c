// Running commands on Linux: through /bin/sh.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/test_support.h"

namespace test_support {

int RunCommand(const std::string& command, std::string* out) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[4096];
  std::size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  int status = pclose(pipe);
  if (out != nullptr) *out = text;
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

KvaRun Kva(const std::string& arguments, const std::string& standardInput) {
  std::string command = ToolPath("kva").string() + " " + arguments + " 2>&1";
  // Through a pipe (of any bytes), as from another program.
  const std::filesystem::path input =
      std::filesystem::temp_directory_path() / ("kva-input-" + std::to_string(getpid()));
  if (!standardInput.empty()) WriteFile(input, standardInput), command = "cat " + Q(input) + " | " + command;
  KvaRun run;
  run.status = RunCommand(command, &run.output);
  std::filesystem::remove(input);
  return run;
}

KvaRun KvaWithoutTerminal(const std::string& arguments) {
  KvaRun run;
  run.status = RunCommand("setsid " + ToolPath("kva").string() + " " + arguments + " </dev/null 2>&1",
                          &run.output);
  return run;
}

UnreadableFile::UnreadableFile(const std::filesystem::path& path) {
  int descriptor = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  EXPECT_EQ(bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(descriptor);
}

UnreadableFile::~UnreadableFile() = default;

}  // namespace test_support
