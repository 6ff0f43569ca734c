// Where the Windows process enters the program: the command line as Windows
// gives it, common controls, and the services the program finds installed.
#include "platform/process_entry.h"

#include <cstring>

#include "platform/device_path.h"
#include "platform/ui_win32/back_end.h"

#include <commctrl.h>  // after <windows.h>

namespace platform {
namespace {

// What follows the program's name in the command line, and the blanks
// after it, by the rule Windows reads the name with: up to the closing
// quote when it starts with one, else up to the first blank.
const wchar_t* AfterProgramName(const wchar_t* line) {
  if (*line == L'"') {
    ++line;
    while (*line != L'\0' && *line != L'"') ++line;
    if (*line == L'"') ++line;
  } else {
    while (*line != L'\0' && *line != L' ' && *line != L'\t') ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

}  // namespace

int RunProcess(int, char**, ProgramMain programMain, AnswerWithoutWindows answer) {
  const wchar_t* arguments = AfterProgramName(::GetCommandLineW());
  // A command line of 32767 UTF-16 units at most, up to 3 bytes each in UTF-8.
  static char commandLine[32767 * 3 + 1];
  const auto* wide = reinterpret_cast<const char16_t*>(arguments);
  if (!Utf16ToUtf8(wide, WideLength(wide), commandLine, sizeof commandLine)) {
    commandLine[0] = '\0';  // unpaired surrogates: no usable path, refused as empty
  }
  int answered = 0;
  if (answer != nullptr && answer(commandLine, &answered)) return answered;

  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  win32::Win32MessageBoxService messageBoxes;
  win32::Win32ProcessEnding processEnding;
  SetMessageBoxService(&messageBoxes);
  SetProcessEnding(&processEnding);

  int exitCode = programMain(commandLine);

  SetProcessEnding(nullptr);
  SetMessageBoxService(nullptr);
  return exitCode;
}

void WriteOutput(const char* text) {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  bool console = false;
  if ((out == nullptr || out == INVALID_HANDLE_VALUE) && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
    out = ::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                        nullptr);
    console = true;
  }
  DWORD written = 0;
  if (out != nullptr && out != INVALID_HANDLE_VALUE) {
    ::WriteFile(out, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
  }
  if (console) {
    ::CloseHandle(out);
    ::FreeConsole();
  }
}

}  // namespace platform
