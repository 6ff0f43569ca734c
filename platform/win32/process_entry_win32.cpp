// Where the Windows process enters the program: the command line as Windows
// gives it, common controls, and message boxes and the process's ending on
// the Win32 API.
#include "platform/process_entry.h"

#include "platform/device_path.h"
#include "platform/message_box.h"
#include "platform/process_end.h"
#include "platform/win32/window_win32.h"

#include <commctrl.h>  // after <windows.h>

namespace platform {
namespace {

// MessageBoxW takes the program's styles and gives its answers as they are:
// they are the MB_ and ID values. A Yes/No box has no Cancel, so Esc and the
// close button cannot dismiss it.
class Win32MessageBoxes : public MessageBoxService {
 public:
  int Show(void* owner, const char16_t* text, const char16_t* caption, unsigned style) override {
    UINT flags = style & (kButtonsMask | kIconMask);
    // Without an owner the box still keeps the program's windows waiting.
    if (owner == nullptr) flags |= MB_TASKMODAL | MB_SETFOREGROUND;
    return ::MessageBoxW(static_cast<HWND>(owner), win32::Wide(text), win32::Wide(caption), flags);
  }
};

// The device's ending, from whichever thread: ExitProcess stops the other
// threads first. The job has removed its files and wiped the password
// before it asks; EndProcessAtOnce removes the files being unpacked.
class Win32ProcessEnding : public ProcessEnding {
 public:
  void End(int exitCode) override { ::ExitProcess(static_cast<UINT>(exitCode)); }
  void EndAtOnce(int exitCode) override { ::ExitProcess(static_cast<UINT>(exitCode)); }
};

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

int RunProcess(int, char**, ProgramMain programMain) {
  const wchar_t* arguments = AfterProgramName(::GetCommandLineW());
  // A command line of 32767 UTF-16 units at most, up to 3 bytes each in UTF-8.
  static char commandLine[32767 * 3 + 1];
  const auto* wide = reinterpret_cast<const char16_t*>(arguments);
  if (!Utf16ToUtf8(wide, WideLength(wide), commandLine, sizeof commandLine)) {
    commandLine[0] = '\0';  // unpaired surrogates: no usable path, refused as empty
  }

  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  Win32MessageBoxes messageBoxes;
  Win32ProcessEnding processEnding;
  SetMessageBoxService(&messageBoxes);
  SetProcessEnding(&processEnding);

  int exitCode = programMain(commandLine);

  SetProcessEnding(nullptr);
  SetMessageBoxService(nullptr);
  return exitCode;
}

}  // namespace platform
