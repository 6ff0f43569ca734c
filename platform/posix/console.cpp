// The console on Linux: the terminal, standard input, and the signals that
// interrupt a command (SIGINT, SIGTERM, SIGHUP).
#include <bsd/readpassphrase.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/console.h"
#include "platform/device_path.h"
#include "platform/files.h"

namespace platform {
namespace {

// read(2) a byte at a time: nothing past the line is consumed.
bool ReadLine(int descriptor, char* line, std::size_t capacity, std::size_t* length) {
  *length = 0;
  for (;;) {
    char byte = 0;
    ssize_t got = ::read(descriptor, &byte, 1);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0 || byte == '\n') break;
    if (*length + 1 >= capacity) return false;
    line[(*length)++] = byte;
  }
  line[*length] = '\0';
  return true;
}

// The file to remove if the process is interrupted. Only the signal
// handler and the (single) staged output touch it.
char pendingHostPath[kMaxHostPath];
volatile std::sig_atomic_t pendingSet = 0;

extern "C" void RemovePendingAndExit(int signalNumber) {
  if (pendingSet != 0) ::unlink(pendingHostPath);
  RemoveStagingFilesNow();  // a file unpacking is writing
  ::signal(signalNumber, SIG_DFL);
  ::raise(signalNumber);
}

}  // namespace

void StartConsole() {
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) ::signal(signalNumber, RemovePendingAndExit);
}

bool ReadFirstLineOfStandardInput(char* line, std::size_t capacity, std::size_t* length) {
  return ReadLine(STDIN_FILENO, line, capacity, length);
}

bool ReadFirstLineOfFile(const std::string& path, char* line, std::size_t capacity,
                         std::size_t* length, bool* opened) {
  int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  *opened = descriptor >= 0;
  if (descriptor < 0) return false;
  bool ok = ReadLine(descriptor, line, capacity, length);
  ::close(descriptor);
  return ok;
}

bool AskHidden(const char* prompt, char* line, std::size_t capacity) {
  return readpassphrase(prompt, line, capacity, RPP_REQUIRE_TTY) != nullptr;
}

bool AskLine(const char* question, char* answer, std::size_t capacity) {
  if (::isatty(STDIN_FILENO) == 0 || capacity == 0) return false;
  std::FILE* terminal = std::fopen("/dev/tty", "r+");
  if (terminal == nullptr) return false;
  std::fputs(question, terminal);
  std::fflush(terminal);
  bool answered = std::fgets(answer, static_cast<int>(capacity), terminal) != nullptr;
  std::fclose(terminal);
  if (answered) answer[std::strcspn(answer, "\r\n")] = '\0';
  return answered;
}

bool OutputIsTerminal() { return ::isatty(STDOUT_FILENO) != 0; }

bool ErrorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

void EraseLine(std::size_t) { std::fprintf(stderr, "\r\033[K"); }

int TerminalColumns() {
  winsize size{};
  return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

void WatchForInterruption(const char16_t* path) {
  if (!ToHostPath(path, pendingHostPath)) return;
  pendingSet = 1;
}

void StopWatching() { pendingSet = 0; }

}  // namespace platform
