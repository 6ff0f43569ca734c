// Running commands on Linux: through /bin/sh.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
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
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
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
  run.status = RunCommand("setsid " + ToolPath("kva").string() + " " + arguments + " </dev/null 2>&1", &run.output);
  return run;
}

RunningKva::RunningKva(const std::vector<std::string>& arguments, const std::filesystem::path& log) {
  int channel[2];
  if (pipe(channel) != 0) return;
  const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  std::vector<std::string> all = {ToolPath("kva").string()};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : all) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, channel[0], 0);
  for (int to : {1, 2}) posix_spawn_file_actions_adddup2(&actions, out, to);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) id_ = pid;
  posix_spawn_file_actions_destroy(&actions);
  close(channel[0]), close(out);
  input_ = channel[1];
}

RunningKva::~RunningKva() {
  if (id_ > 0) kill(static_cast<pid_t>(id_), SIGKILL), Wait();
  Feed("");
}

void RunningKva::Feed(const std::string& input) {
  if (input_ < 0) return;
  EXPECT_EQ(write(static_cast<int>(input_), input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(static_cast<int>(input_));
  input_ = -1;
}

int RunningKva::Wait() {
  if (id_ <= 0 || (status_ < 0 && waitpid(static_cast<pid_t>(id_), &status_, 0) != id_)) return -1;
  id_ = -1;
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
}

bool RunningKva::Running() {
  return id_ > 0 && status_ < 0 && waitpid(static_cast<pid_t>(id_), &status_, WNOHANG) == 0;
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
