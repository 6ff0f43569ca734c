// Where the file-system fuzzers make their sandboxes: $TMPDIR when it is
// set, otherwise /dev/shm when it is a writable folder (memory: creating and
// deleting the sandbox's files on a disk can cost more than the code under
// test, several times fewer inputs a second), otherwise the system's
// temporary folder.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

inline std::filesystem::path SandboxRoot() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir == nullptr || *tmpdir == '\0') {
    std::error_code error;
    if (std::filesystem::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0) {
      return "/dev/shm";
    }
  }
  return std::filesystem::temp_directory_path();
}

// A sandbox is <root>/<prefix><pid>, removed at exit; a run that crashed or
// was killed leaves its own behind. Removes those whose process is gone.
inline void RemoveStaleSandboxes(const std::filesystem::path& root, const std::string& prefix) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
    std::string name = entry.path().filename().string();
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    std::string digits = name.substr(prefix.size());
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    pid_t pid = static_cast<pid_t>(std::strtol(digits.c_str(), nullptr, 10));
    if (::kill(pid, 0) != 0 && errno == ESRCH) std::filesystem::remove_all(entry.path(), error);
  }
}
