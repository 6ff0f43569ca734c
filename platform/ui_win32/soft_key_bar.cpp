// The menu bar of a window on Win32: a strip of soft keys along its bottom
// edge, which passes a key's command on to its window, as the device's menu
// bar does; F1 and F2 press the left and right key.
#include <cstddef>

#include "platform/screen.h"
#include "platform/ui_win32/back_end.h"
#include "platform/window_layout.h"

namespace platform {
namespace win32 {
namespace {

constexpr wchar_t kSoftKeyBarClass[] = L"TessaronSoftKeys";
constexpr COLORREF kBarColour = RGB(0x1f, 0x3a, 0x5f);
constexpr COLORREF kPressedKeyColour = RGB(0x3d, 0x6d, 0xa8);

// A soft key: the menu item's text, white on the bar's blue.
void DrawSoftKey(const DRAWITEMSTRUCT& item) {
  bool pressed = (item.itemState & ODS_SELECTED) != 0;
  HBRUSH fill = ::CreateSolidBrush(pressed ? kPressedKeyColour : kBarColour);
  ::FillRect(item.hDC, &item.rcItem, fill);
  ::DeleteObject(fill);
  wchar_t text[64];
  int length = ::GetWindowTextW(item.hwndItem, text, 64);
  ::SetBkMode(item.hDC, TRANSPARENT);
  ::SetTextColor(item.hDC, RGB(0xff, 0xff, 0xff));
  RECT area = item.rcItem;
  ::DrawTextW(item.hDC, text, length, &area,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

// The bar passes a key's command on to its window, as the device's menu
// bar does.
LRESULT CALLBACK SoftKeyBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
        auto command = static_cast<WORD>(
            ::GetWindowLongPtrW(reinterpret_cast<HWND>(lParam), GWLP_USERDATA));
        ::SendMessageW(::GetParent(bar), WM_COMMAND, MAKEWPARAM(command, 0), 0);
        return 0;
      }
      break;
    case WM_DRAWITEM:
      DrawSoftKey(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    default:
      break;
  }
  return ::DefWindowProcW(bar, message, wParam, lParam);
}

// F1 and F2 press the left and right soft key of the window they are typed
// in: the key becomes the key's command for that window, in whichever
// message loop fetches it (the program's, a dialog's).
LRESULT CALLBACK FunctionKeyHook(int code, WPARAM removal, LPARAM data) {
  auto* message = reinterpret_cast<MSG*>(data);
  if (code == HC_ACTION && removal == PM_REMOVE && message->message == WM_KEYDOWN &&
      (message->wParam == VK_F1 || message->wParam == VK_F2) && message->hwnd != nullptr) {
    HWND window = ::GetAncestor(message->hwnd, GA_ROOT);
    HWND bar = ::FindWindowExW(window, nullptr, kSoftKeyBarClass, nullptr);
    HWND key = bar != nullptr ? ::GetDlgItem(bar, message->wParam == VK_F1 ? 1 : 2) : nullptr;
    if (key != nullptr && ::IsWindowEnabled(window)) {
      auto command = static_cast<WORD>(::GetWindowLongPtrW(key, GWLP_USERDATA));
      message->hwnd = window;
      message->message = WM_COMMAND;
      message->wParam = MAKEWPARAM(command, 0);
      message->lParam = 0;
    }
  }
  return ::CallNextHookEx(nullptr, code, removal, data);
}

bool RegisterSoftKeyBar() {
  static const bool registered = [] {
    WNDCLASSW barClass = {};
    barClass.lpfnWndProc = SoftKeyBarProc;
    barClass.hInstance = ProgramModule();
    barClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    barClass.hbrBackground = nullptr;  // the keys cover it
    barClass.lpszClassName = kSoftKeyBarClass;
    return ::RegisterClassW(&barClass) != 0 &&
           ::SetWindowsHookExW(WH_GETMESSAGE, FunctionKeyHook, nullptr,
                               ::GetCurrentThreadId()) != nullptr;
  }();
  return registered;
}

}  // namespace
}  // namespace win32

using win32::HandleOf;
using win32::HwndOf;
using win32::Wide;

Window CreateSoftKeyBar(Window window, const MenuResource& menu) {
  HWND parent = HwndOf(window);
  if (!win32::RegisterSoftKeyBar()) return nullptr;
  RECT inside;
  ::GetClientRect(parent, &inside);
  int height = kBarHeight * screenMetrics.scale;
  HWND bar = ::CreateWindowExW(0, win32::kSoftKeyBarClass, L"", WS_CHILD | WS_VISIBLE,
                               0, inside.bottom - height, inside.right, height, parent, nullptr,
                               win32::ProgramModule(), nullptr);
  if (bar == nullptr) return nullptr;
  int half = inside.right / 2;
  for (std::size_t i = 0; i < menu.count && i < 2; ++i) {
    int left = i == 0 ? 0 : half;
    int right = i == 0 ? half : inside.right;
    // Ids 1 and 2 for F1 and F2; the command travels with the key.
    HWND key = ::CreateWindowExW(0, L"BUTTON", Wide(menu.items[i].text),
                                 WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, left, 0, right - left,
                                 height, bar, reinterpret_cast<HMENU>(static_cast<INT_PTR>(i + 1)),
                                 win32::ProgramModule(), nullptr);
    if (key == nullptr) {
      ::DestroyWindow(bar);
      return nullptr;
    }
    ::SetWindowLongPtrW(key, GWLP_USERDATA, menu.items[i].command);
    ::SendMessageW(key, WM_SETFONT,
                   reinterpret_cast<WPARAM>(win32::TextFont(kWindowTextPixels * screenMetrics.scale)),
                   FALSE);
  }
  return HandleOf(bar);
}

}  // namespace platform
