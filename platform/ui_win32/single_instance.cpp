// One running instance per user on Win32: the instances meet at a named
// mutex in the user's session, named after and owned by the user, and the
// running one's main window is found by its class (its title names its
// file) and handed a later start's file with WM_COPYDATA.
#include "platform/single_instance.h"

#include <iterator>

#include "platform/ui_win32/back_end.h"
#include "platform/wide_string.h"

#include <aclapi.h>  // after <windows.h>
#include <sddl.h>

namespace platform {
namespace {

// How long a start that finds the mutex taken looks for the window of the
// instance holding it (which may still be making it). When the time is up
// it runs after all: an instance whose window cannot be found may be
// ending, and a start that neither shows a window nor runs would be lost.
constexpr DWORD kWaitForWindowMs = 3000;
constexpr DWORD kRetryMs = 50;

void BringToFront(HWND window) {
  if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
  // The window's modal dialog, when it has one, rather than the window it
  // keeps disabled.
  ::SetForegroundWindow(::GetLastActivePopup(window));
}

// The user's own identity (TokenUser), for the mutex's name and owner.
class CurrentUser {
 public:
  CurrentUser() {
    HANDLE token = nullptr;
    DWORD needed = 0;
    valid_ = ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token) &&
             ::GetTokenInformation(token, TokenUser, user_, sizeof user_, &needed);
    if (token != nullptr) ::CloseHandle(token);
  }
  bool Valid() const { return valid_; }
  PSID Sid() const { return reinterpret_cast<const TOKEN_USER*>(user_)->User.Sid; }

 private:
  alignas(TOKEN_USER) unsigned char user_[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
  bool valid_ = false;
};

// Whether the kernel object `handle` was made by `user`: its owner is set
// to the user by the instance that makes it (below).
bool OwnedBy(HANDLE handle, const CurrentUser& user) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  bool owned = ::GetSecurityInfo(handle, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                 nullptr, nullptr, nullptr, &descriptor) == ERROR_SUCCESS &&
               owner != nullptr && ::EqualSid(owner, user.Sid());
  if (descriptor != nullptr) ::LocalFree(descriptor);
  return owned;
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

// `title` is the program's name: with the class and the user's SID it
// names the mutex.
bool ForegroundExistingWindow(const char16_t* className, const char16_t* title,
                              const char16_t* file, bool* told) {
  *told = false;
  // Local\: the user's session; the name carries the user's SID, so that
  // two users of one session never meet. Letters and digits of the names
  // only.
  CurrentUser user;
  wchar_t* sid = nullptr;
  if (!user.Valid() || !::ConvertSidToStringSidW(user.Sid(), &sid)) return false;
  char16_t name[2 * 100 + 256] = u"Local\\";
  std::size_t at = WideLength(name);
  for (const char16_t* part : {className, u"-", title, u"-", reinterpret_cast<const char16_t*>(sid)}) {
    for (const char16_t* c = part; *c != u'\0' && at + 1 < std::size(name); ++c) {
      bool plain = (*c >= u'0' && *c <= u'9') || (*c >= u'A' && *c <= u'Z') ||
                   (*c >= u'a' && *c <= u'z') || *c == u'-';
      name[at++] = plain ? *c : u'_';
    }
  }
  name[at] = u'\0';
  ::LocalFree(sid);
  // Made with the user as its owner, which a start that finds it checks:
  // an object of that name made by anyone else is not a running instance.
  SECURITY_DESCRIPTOR descriptor;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
  if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorOwner(&descriptor, user.Sid(), FALSE)) {
    return false;
  }
  // Held, never closed, for the process's life: the system lets it go when
  // the process ends however it ends, so one that crashed blocks nothing.
  HANDLE mutex = ::CreateMutexW(&attributes, FALSE, win32::Wide(name));
  if (mutex == nullptr) return false;  // not ours to open: run without the check
  if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
  bool ours = OwnedBy(mutex, user);
  ::CloseHandle(mutex);
  if (!ours) return false;
  for (DWORD waited = 0; waited < kWaitForWindowMs; waited += kRetryMs) {
    HWND window = ::FindWindowW(win32::Wide(className), nullptr);
    if (window != nullptr) {
      *told = HandOver(window, file);
      BringToFront(window);
      return true;
    }
    ::Sleep(kRetryMs);
  }
  // No window after all (an instance that is ending): this one runs.
  return false;
}

// FindWindowW finds the window by its class: nothing to publish.
bool PublishWindow(Window window) { return window != nullptr; }

}  // namespace platform
