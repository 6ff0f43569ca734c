// Message boxes on Win32 (platform/message_box.h), centred over the window
// that owns them, as a desktop user expects (MessageBoxW itself centres
// them on the screen): a hook on the calling thread moves the box when it
// is about to be shown.
#include "platform/ui_win32/back_end.h"

namespace platform::win32 {
namespace {

thread_local HHOOK centringHook = nullptr;
thread_local HWND centreOver = nullptr;

LRESULT CALLBACK CentreBox(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    auto box = reinterpret_cast<HWND>(wParam);
    RECT boxRect;
    RECT ownerRect;
    if (::GetWindowRect(box, &boxRect) && ::GetWindowRect(centreOver, &ownerRect)) {
      RECT place = CentredInWorkArea(::MonitorFromWindow(centreOver, MONITOR_DEFAULTTONEAREST),
                                     boxRect.right - boxRect.left, boxRect.bottom - boxRect.top,
                                     &ownerRect);
      ::SetWindowPos(box, nullptr, place.left, place.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::UnhookWindowsHookEx(centringHook);
    centringHook = nullptr;
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int Win32MessageBoxService::Show(void* owner, const char16_t* text, const char16_t* caption,
                                 unsigned style) {
  UINT flags = style & (kButtonsMask | kIconMask);
  auto window = static_cast<HWND>(owner);
  // An owner kept disabled by a modal dialog hands the box to that dialog,
  // which the box then keeps waiting, rather than be enabled again under
  // it when the box goes.
  if (window != nullptr && !::IsWindowEnabled(window)) window = ::GetLastActivePopup(window);
  // Without an owner the box still keeps the program's windows waiting.
  if (window == nullptr) flags |= MB_TASKMODAL | MB_SETFOREGROUND;
  if (window != nullptr && centringHook == nullptr) {
    centreOver = window;
    centringHook = ::SetWindowsHookExW(WH_CBT, CentreBox, nullptr, ::GetCurrentThreadId());
  }
  int answer = ::MessageBoxW(window, Wide(text), Wide(caption), flags);
  if (centringHook != nullptr) ::UnhookWindowsHookEx(centringHook);
  centringHook = nullptr;
  return answer;
}

}  // namespace platform::win32
