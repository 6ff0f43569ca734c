// One running instance per user on Win32: the instances meet at a named
// mutex in the user's session, and the running one's main window is found
// by its class (its title names its file) and handed a later start's file
// with WM_COPYDATA.
#include "platform/single_instance.h"

#include <iterator>

#include "platform/ui_win32/back_end.h"
#include "platform/wide_string.h"

namespace platform {
namespace {

// How long a start that finds the mutex taken looks for the window of the
// instance holding it (which may still be making it). It gives way when the
// time is up all the same: the instance runs, only raising it is lost.
constexpr DWORD kWaitForWindowMs = 3000;
constexpr DWORD kRetryMs = 50;

void BringToFront(HWND window) {
  if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
  // The window's modal dialog, when it has one, rather than the window it
  // keeps disabled.
  ::SetForegroundWindow(::GetLastActivePopup(window));
}

// Hands `file` to the running instance's window; true when it took it.
bool HandOver(HWND window, const char16_t* file) {
  COPYDATASTRUCT data = {win32::kHandOverFile,
                         static_cast<DWORD>((WideLength(file) + 1) * sizeof(char16_t)),
                         const_cast<char16_t*>(file)};
  DWORD_PTR taken = FALSE;
  return ::SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                               SMTO_ABORTIFHUNG, kWaitForWindowMs, &taken) != 0 &&
         taken == TRUE;
}

}  // namespace

// `title` is the program's name: with the class it names the mutex.
bool ForegroundExistingWindow(const char16_t* className, const char16_t* title,
                              const char16_t* file, bool* told) {
  *told = false;
  // Local\: the user's session. Letters and digits of the names only.
  char16_t name[2 * 100 + 16] = u"Local\\";
  std::size_t at = WideLength(name);
  for (const char16_t* part : {className, u"-", title}) {
    for (const char16_t* c = part; *c != u'\0' && at + 1 < std::size(name); ++c) {
      bool plain = (*c >= u'0' && *c <= u'9') || (*c >= u'A' && *c <= u'Z') ||
                   (*c >= u'a' && *c <= u'z') || *c == u'-';
      name[at++] = plain ? *c : u'_';
    }
  }
  name[at] = u'\0';
  // Held, never closed, for the process's life: the system lets it go when
  // the process ends however it ends, so one that crashed blocks nothing.
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, win32::Wide(name));
  if (mutex == nullptr) return false;  // another user's object: run without the check
  if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
  ::CloseHandle(mutex);
  for (DWORD waited = 0; waited < kWaitForWindowMs; waited += kRetryMs) {
    HWND window = ::FindWindowW(win32::Wide(className), nullptr);
    if (window != nullptr) {
      *told = HandOver(window, file);
      BringToFront(window);
      return true;
    }
    ::Sleep(kRetryMs);
  }
  return true;
}

// FindWindowW finds the window by its class: nothing to publish.
bool PublishWindow(Window window) { return window != nullptr; }

}  // namespace platform
