// Windows and controls on Win32.
#include "platform/ui_win32/back_end.h"

#include <algorithm>
#include <commctrl.h>  // after <windows.h>
#include <cstring>
#include <memory>

#include "platform/screen.h"
#include "platform/wide_string.h"
#include "platform/window_layout.h"

namespace platform {
namespace win32 {
namespace {

// Not resizable, as the device's screen is not; a title bar with the close
// and minimise buttons, as a desktop program has.
constexpr DWORD kMainWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

WindowProcedure ProcedureOf(HWND window) {
  return reinterpret_cast<WindowProcedure>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The box that had the keyboard focus when the window was last left, which
// gets it back when the window is activated again (as a dialog's does).
constexpr wchar_t kFocusProperty[] = L"Tessaron.Focus";

void KeepFocus(HWND window, UINT message, WPARAM wParam) {
  if (message == WM_ACTIVATE && LOWORD(wParam) == WA_INACTIVE) {
    HWND focus = ::GetFocus();
    if (focus != nullptr && ::IsChild(window, focus)) ::SetPropW(window, kFocusProperty, focus);
  } else if ((message == WM_ACTIVATE && HIWORD(wParam) == 0) || message == WM_SETFOCUS) {
    auto* kept = static_cast<HWND>(::GetPropW(window, kFocusProperty));
    if (kept == nullptr || !::IsChild(window, kept)) {
      kept = ::GetNextDlgTabItem(window, nullptr, FALSE);
    }
    if (kept != nullptr && ::IsWindowEnabled(window)) ::SetFocus(kept);
  } else if (message == WM_NCDESTROY) {
    ::RemovePropW(window, kFocusProperty);
  }
}

// A later start's file (WM_COPYDATA, single_instance.cpp) is copied and
// handed to the procedure from the message loop, so that the sender, which
// waits for the answer, never waits for a box the procedure shows.
constexpr UINT kHandedOverFile = WM_APP + 1;

LRESULT TakeHandedOverFile(HWND window, LPARAM lParam) {
  const auto& data = *reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  if (data.dwData != kHandOverFile || data.cbData > kMaxPath * sizeof(char16_t)) return FALSE;
  auto file = std::make_unique<char16_t[]>(kMaxPath);  // zeroed: always terminated
  std::memcpy(file.get(), data.lpData, data.cbData - data.cbData % sizeof(char16_t));
  file[kMaxPath - 1] = u'\0';
  if (file[0] != u'\0' &&
      ::PostMessageW(window, kHandedOverFile, 0, reinterpret_cast<LPARAM>(file.get()))) {
    file.release();  // the posted message's now
  }
  return TRUE;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* creation = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  if (message == WM_CTLCOLORSTATIC) {
    return reinterpret_cast<LRESULT>(WhiteBackground(reinterpret_cast<HDC>(wParam)));
  }
  // Windows is ending the user's session (logoff, shutdown, restart) and
  // will end the process after this message: the run ends at once, as the
  // cancel command ends it, and the decrypted package goes with its handle.
  if (message == WM_ENDSESSION && wParam != FALSE) EndProcessAtOnce(0);
  KeepFocus(window, message, wParam);
  WindowProcedure procedure = ProcedureOf(window);
  if (message == WM_COPYDATA) return TakeHandedOverFile(window, lParam);
  if (message == kHandedOverFile) {
    std::unique_ptr<char16_t[]> file(reinterpret_cast<char16_t*>(lParam));
    if (procedure != nullptr) {
      procedure(HandleOf(window), Message::kCopyData, reinterpret_cast<std::intptr_t>(file.get()));
    }
    return 0;
  }
  if (procedure != nullptr && CallProcedure(procedure, window, message, wParam)) return 0;
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HINSTANCE ProgramModule() { return ::GetModuleHandleW(nullptr); }

bool CallProcedure(WindowProcedure procedure, HWND window, UINT message, WPARAM wParam) {
  std::intptr_t parameter = 0;
  switch (message) {
    case WM_CREATE:
    case WM_DESTROY:
    case WM_CLOSE:
    case WM_SETTINGCHANGE:
    case WM_INITDIALOG:
      break;
    case WM_ACTIVATE:
      parameter = LOWORD(wParam) != WA_INACTIVE ? 1 : 0;
      break;
    case WM_COMMAND:
      // 0 from a menu or a button, 1 from an accelerator; a control's
      // notifications (a box's text changed) are no commands.
      if (HIWORD(wParam) > 1) return false;
      parameter = LOWORD(wParam);
      break;
    default:
      return false;
  }
  return procedure(HandleOf(window), static_cast<Message>(message), parameter);
}

HFONT TextFont(int pixels) {
  struct Made {
    int pixels;
    HFONT font;
  };
  static Made made[16] = {};
  for (Made& entry : made) {
    if (entry.font != nullptr && entry.pixels == pixels) return entry.font;
  }
  HFONT font = ::CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, L"MS Shell Dlg");
  for (Made& entry : made) {
    if (entry.font == nullptr) {
      entry = {pixels, font};
      break;
    }
  }
  return font;
}

RECT CentredInWorkArea(HMONITOR monitor, int width, int height, const RECT* over) {
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  RECT area = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  if (::GetMonitorInfoW(monitor, &info)) area = info.rcWork;
  const RECT& centre = over != nullptr ? *over : area;
  // Centred, then moved back inside the work area where it would stick out
  // (its top left corner first, so that the title bar stays reachable).
  int left = (centre.left + centre.right - width) / 2;
  int top = (centre.top + centre.bottom - height) / 2;
  left = std::max(std::min(left, static_cast<int>(area.right) - width), static_cast<int>(area.left));
  top = std::max(std::min(top, static_cast<int>(area.bottom) - height), static_cast<int>(area.top));
  return {left, top, left + width, top + height};
}

HBRUSH WhiteBackground(HDC context) {
  ::SetBkColor(context, RGB(0xff, 0xff, 0xff));
  return static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
}

}  // namespace win32

using win32::HandleOf;
using win32::HwndOf;
using win32::Wide;

Window CreateMainWindow(const char16_t* className, const char16_t* title, int iconId,
                        WindowProcedure procedure) {
  HINSTANCE module = win32::ProgramModule();
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = win32::MainWindowProc;
  windowClass.hInstance = module;
  windowClass.hIcon = ::LoadIconW(module, MAKEINTRESOURCEW(iconId));
  windowClass.hIconSm = static_cast<HICON>(
      ::LoadImageW(module, MAKEINTRESOURCEW(iconId), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                   ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  // The device has no cursor; a desktop's mouse needs the arrow.
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = Wide(className);
  if (::RegisterClassExW(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return nullptr;
  }
  // The inside of the window is the device screen; the window is centred
  // on the work area of the monitor the pointer is on.
  RECT frame = {0, 0, screenMetrics.width, screenMetrics.height};
  ::AdjustWindowRectEx(&frame, win32::kMainWindowStyle, FALSE, 0);
  POINT pointer = {};
  ::GetCursorPos(&pointer);
  RECT place = win32::CentredInWorkArea(::MonitorFromPoint(pointer, MONITOR_DEFAULTTOPRIMARY),
                                        frame.right - frame.left, frame.bottom - frame.top,
                                        nullptr);
  HWND window = ::CreateWindowExW(0, Wide(className), Wide(title),
                                  win32::kMainWindowStyle | WS_VISIBLE, place.left, place.top,
                                  place.right - place.left, place.bottom - place.top, nullptr,
                                  nullptr, module, reinterpret_cast<void*>(procedure));
  if (window != nullptr) ::UpdateWindow(window);
  return HandleOf(window);
}

Window CreateControl(Window parent, ControlKind kind, int id, const char16_t* text,
                     const Rect& rect, std::size_t maxLength) {
  DWORD style = WS_CHILD | WS_VISIBLE;
  const wchar_t* controlClass = L"STATIC";
  if (kind == ControlKind::kLabel) {
    style |= SS_NOPREFIX;
  } else if (kind == ControlKind::kButton) {
    // Its clicks come to the parent as WM_COMMAND with the button's id.
    controlClass = L"BUTTON";
    style |= WS_TABSTOP | BS_PUSHBUTTON;
  } else {
    controlClass = L"EDIT";
    style |= WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
    if (kind == ControlKind::kPasswordBox) style |= ES_PASSWORD;
  }
  HWND control = ::CreateWindowExW(0, controlClass, Wide(text), style, rect.left, rect.top,
                                   rect.right - rect.left, rect.bottom - rect.top,
                                   HwndOf(parent), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   win32::ProgramModule(), nullptr);
  if (control == nullptr) return nullptr;
  ::SendMessageW(control, WM_SETFONT,
                 reinterpret_cast<WPARAM>(win32::TextFont(kWindowTextPixels * screenMetrics.scale)),
                 FALSE);
  if (kind != ControlKind::kLabel && maxLength > 0) {
    ::SendMessageW(control, EM_SETLIMITTEXT, maxLength, 0);
  }
  return HandleOf(control);
}

Window GetControl(Window window, int id) {
  return window != nullptr ? HandleOf(::GetDlgItem(HwndOf(window), id)) : nullptr;
}

std::size_t GetText(Window window, char16_t* buffer, std::size_t capacity) {
  if (capacity == 0) return 0;
  buffer[0] = u'\0';
  if (window == nullptr) return 0;
  // Sent to the window's thread when called from another one.
  int length = ::GetWindowTextW(HwndOf(window), Wide(buffer),
                                static_cast<int>(std::min<std::size_t>(capacity, INT_MAX)));
  if (length < 0) length = 0;
  buffer[length] = u'\0';
  return static_cast<std::size_t>(length);
}

void SetText(Window window, const char16_t* text) {
  if (window != nullptr) ::SetWindowTextW(HwndOf(window), Wide(text));
}

void SetProgressPosition(Window bar, std::uint32_t position) {
  if (bar == nullptr) return;
  // Clamped before it becomes an int: a position past the range shows full.
  ::SendMessageW(HwndOf(bar), PBM_SETPOS, std::min<std::uint32_t>(position, 100), 0);
}

void Focus(Window window) { ::SetFocus(HwndOf(window)); }

void SendToWindow(Window window, Message message, std::intptr_t parameter) {
  WPARAM wParam = message == Message::kCommand
                      ? MAKEWPARAM(static_cast<WORD>(parameter), 0)
                      : static_cast<WPARAM>(parameter);
  ::SendMessageW(HwndOf(window), static_cast<UINT>(message), wParam, 0);
}

void Destroy(Window window) {
  if (window != nullptr) ::DestroyWindow(HwndOf(window));
}

}  // namespace platform
