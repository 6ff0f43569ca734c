// The console on Linux: the terminal, standard input, and the signals that
// end a command early (SIGINT, SIGTERM, SIGHUP, SIGPIPE; SIGXFSZ becomes a
// failed write).
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

// The signals that end a command early, and what each says. Whatever
// they interrupt, no output is left half-made: outputs have no name until
// they are complete, and the hidden names they may have for a moment are
// removed here.
struct Ending {
  int signalNumber;
  const char* message;
};
constexpr Ending kEndings[] = {
    {SIGINT, "kva: interrupted\n"},
    {SIGTERM, "kva: terminated\n"},
    {SIGHUP, "kva: the terminal went away\n"},
    {SIGPIPE, "kva: a pipe it writes to was closed\n"},
};

volatile std::sig_atomic_t errorIsTerminal = 0;

// Only async-signal-safe calls: unlinkat, write, sigprocmask, raise, _exit.
extern "C" void EndOnSignal(int signalNumber) {
  RemoveStagingFilesNow();
  for (const Ending& ending : kEndings) {
    if (ending.signalNumber != signalNumber) continue;
    // A closed pipe on standard error makes these writes fail, with
    // SIGPIPE blocked while this handler runs: nothing is said then.
    if (errorIsTerminal != 0) (void)!::write(STDERR_FILENO, "\r\033[K", 4);
    (void)!::write(STDERR_FILENO, ending.message, std::strlen(ending.message));
  }
  // Ctrl+C ends the process by the signal itself, so that a shell running
  // kva in a loop stops too (it reports 130); every other ending is 1.
  if (signalNumber == SIGINT) {
    ::signal(SIGINT, SIG_DFL);
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    ::sigprocmask(SIG_UNBLOCK, &interrupt, nullptr);  // blocked while this handler runs
    ::raise(SIGINT);
  }
  ::_exit(1);
}

}  // namespace

void StartConsole() {
  errorIsTerminal = ::isatty(STDERR_FILENO) != 0 ? 1 : 0;
  // A file-size limit (ulimit -f) makes a write fail rather than end the
  // process: the command then fails as on a full disk, with its message,
  // and puts back a package it was appending to.
  ::signal(SIGXFSZ, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = EndOnSignal;
  sigfillset(&action.sa_mask);  // one ending at a time
  for (const Ending& ending : kEndings) {
    // A signal the caller had ignored stays ignored, as nohup expects (an
    // ignored SIGPIPE makes the write fail instead).
    struct sigaction before {};
    if (::sigaction(ending.signalNumber, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) {
      continue;
    }
    ::sigaction(ending.signalNumber, &action, nullptr);
  }
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

}  // namespace platform
