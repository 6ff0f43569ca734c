// One running instance per user on Win32: the instances meet at a named
// mutex in the user's session, and the running one's main window is found
// by its class and title, as the device finds it.
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

}  // namespace

bool ForegroundExistingWindow(const char16_t* className, const char16_t* title) {
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
    HWND window = ::FindWindowW(win32::Wide(className), win32::Wide(title));
    if (window != nullptr) {
      BringToFront(window);
      return true;
    }
    ::Sleep(kRetryMs);
  }
  return true;
}

// FindWindowW finds the window by its class and title: nothing to publish.
bool PublishWindow(Window window) { return window != nullptr; }

}  // namespace platform
