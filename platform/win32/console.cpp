// The console on Windows: the console window (or what standard input and
// output are redirected to), and the console control handler that hears of
// Ctrl+C, Ctrl+Break and a closed console.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>

#include "platform/console.h"
#include "platform/device_path.h"
#include "platform/files.h"
#include "platform/secure_zero.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

using win32::Wide;

// What an interruption must undo: the console's code page and input mode,
// which outlive the process. (Files being written go with their handles.)
std::atomic<UINT> savedOutputCodePage{0};
std::atomic<HANDLE> echoConsole{nullptr};
std::atomic<DWORD> echoMode{0};

void RestoreConsole() {
  if (UINT page = savedOutputCodePage.exchange(0); page != 0) ::SetConsoleOutputCP(page);
  if (HANDLE console = echoConsole.exchange(nullptr); console != nullptr) {
    ::SetConsoleMode(console, echoMode.load());
  }
}

// Runs on a thread of its own when Ctrl+C or Ctrl+Break is pressed or the
// console closes. Returning FALSE lets the default handler end the process.
BOOL WINAPI OnConsoleEvent(DWORD) {
  RemoveStagingFilesNow();
  RestoreConsole();
  return FALSE;
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

void WriteConsoleText(HANDLE console, const char* utf8) {
  char16_t wide[512];
  if (!Utf8ToUtf16(utf8, std::strlen(utf8), wide, 512)) return;
  DWORD written = 0;
  ::WriteConsoleW(console, Wide(wide), static_cast<DWORD>(WideLength(wide)), &written,
                  nullptr);
}

// One line from a console, as UTF-8, without its line ending.
bool ReadConsoleLine(HANDLE console, char* line, std::size_t capacity, std::size_t* length) {
  wchar_t wide[512];
  std::size_t used = 0;
  bool ended = false;
  while (!ended && used < 512) {
    DWORD got = 0;
    if (!::ReadConsoleW(console, wide + used, static_cast<DWORD>(512 - used), &got, nullptr) ||
        got == 0) {
      break;
    }
    for (DWORD i = 0; i < got && !ended; ++i) ended = wide[used + i] == L'\n';
    used += got;
  }
  while (used > 0 && (wide[used - 1] == L'\n' || wide[used - 1] == L'\r')) --used;
  bool ok = ended && Utf16ToUtf8(reinterpret_cast<const char16_t*>(wide), used, line,
                                           capacity);
  SecureZero(wide, sizeof wide);
  *length = ok ? std::strlen(line) : 0;
  return ok;
}

// ReadFile a byte at a time: nothing past the line is consumed.
bool ReadLine(HANDLE handle, char* line, std::size_t capacity, std::size_t* length) {
  *length = 0;
  for (;;) {
    char byte = 0;
    DWORD got = 0;
    if (!::ReadFile(handle, &byte, 1, &got, nullptr)) {
      if (::GetLastError() != ERROR_BROKEN_PIPE) return false;
      got = 0;  // the writer closed the pipe: the end of the input
    }
    if (got == 0 || byte == '\n') break;
    if (*length + 1 >= capacity) return false;
    line[(*length)++] = byte;
  }
  line[*length] = '\0';
  return true;
}

}  // namespace

void StartConsole() {
  // Text is written as it is, LF and all, as on Linux; a console shows it
  // as UTF-8, the code page it had is given back on every ending.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  if (IsConsole(::GetStdHandle(STD_OUTPUT_HANDLE)) || IsConsole(::GetStdHandle(STD_ERROR_HANDLE))) {
    savedOutputCodePage.store(::GetConsoleOutputCP());
    ::SetConsoleOutputCP(CP_UTF8);
    std::atexit(RestoreConsole);
  }
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool ReadFirstLineOfStandardInput(char* line, std::size_t capacity, std::size_t* length) {
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  return IsConsole(input) ? ReadConsoleLine(input, line, capacity, length)
                          : ReadLine(input, line, capacity, length);
}

bool ReadFirstLineOfFile(const std::string& path, char* line, std::size_t capacity,
                         std::size_t* length, bool* opened) {
  char16_t wide[1024];
  HANDLE file = INVALID_HANDLE_VALUE;
  if (Utf8ToUtf16(path.data(), path.size(), wide, 1024)) {
    file = ::CreateFileW(Wide(wide), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  *opened = file != INVALID_HANDLE_VALUE;
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = ReadLine(file, line, capacity, length);
  ::CloseHandle(file);
  return ok;
}

bool AskHidden(const char* prompt, char* line, std::size_t capacity) {
  // The console itself, even when standard input is redirected.
  HANDLE input = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE output = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD mode = 0;
  bool ok = input != INVALID_HANDLE_VALUE && output != INVALID_HANDLE_VALUE &&
            ::GetConsoleMode(input, &mode);
  if (ok) {
    WriteConsoleText(output, prompt);
    echoMode.store(mode);
    echoConsole.store(input);
    ::SetConsoleMode(input, (mode | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~ENABLE_ECHO_INPUT);
    std::size_t length = 0;
    ok = ReadConsoleLine(input, line, capacity, &length);
    if (HANDLE console = echoConsole.exchange(nullptr); console != nullptr) {
      ::SetConsoleMode(console, mode);
    }
    WriteConsoleText(output, "\r\n");
  }
  if (input != INVALID_HANDLE_VALUE) ::CloseHandle(input);
  if (output != INVALID_HANDLE_VALUE) ::CloseHandle(output);
  return ok;
}

bool AskLine(const char* question, char* answer, std::size_t capacity) {
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  HANDLE output = ::GetStdHandle(STD_ERROR_HANDLE);
  if (!IsConsole(input) || !IsConsole(output)) return false;
  WriteConsoleText(output, question);
  std::size_t length = 0;
  return ReadConsoleLine(input, answer, capacity, &length);
}

bool OutputIsTerminal() { return IsConsole(::GetStdHandle(STD_OUTPUT_HANDLE)); }

bool ErrorIsTerminal() { return IsConsole(::GetStdHandle(STD_ERROR_HANDLE)); }

void EraseLine(std::size_t width) {
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(width), "");
}

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) return 80;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace platform
