// What the fuzz targets share: the check that stops a run, and the
// sandboxes of the file-system fuzzers.
//
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

// A broken invariant stops the run at once, so that libFuzzer keeps the input.
#define CHECK(condition)                \
  do {                                  \
    if (!(condition)) __builtin_trap(); \
  } while (0)

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

// A fresh, empty <root>/<prefix><pid> for this process (after removing the
// ones of dead runs), removed again at exit. One per process and prefix, so
// -jobs/-workers runs never meet.
inline std::filesystem::path SandboxParent(const std::string& prefix) {
  static std::filesystem::path made;  // built before the exit handler is registered
  std::filesystem::path root = SandboxRoot();
  RemoveStaleSandboxes(root, prefix);
  made = root / (prefix + std::to_string(::getpid()));
  std::filesystem::remove_all(made);
  std::filesystem::create_directories(made);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(made, ignored);
  });
  return made;
}

// The device form of a host path: UTF-16, '\' as separator.
inline std::u16string DevicePath(const std::filesystem::path& path) {
  std::u16string device = path.u16string();
  for (char16_t& c : device) {
    if (c == u'/') c = u'\\';
  }
  return device;
}
