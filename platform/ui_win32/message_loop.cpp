// The message loop of the user-interface thread on Win32.
#include "platform/message_loop.h"

#include "platform/ui_win32/back_end.h"

namespace platform {
namespace {

bool running = false;

HACCEL CreateAccelerators(const AcceleratorTable* table) {
  if (table == nullptr || table->count == 0) return nullptr;
  ACCEL entries[16];
  int count = 0;
  for (std::size_t i = 0; i < table->count && count < 16; ++i, ++count) {
    const Accelerator& entry = table->entries[i];
    entries[count].fVirt = static_cast<BYTE>(
        FVIRTKEY | ((entry.modifiers & kModifierControl) != 0 ? FCONTROL : 0));
    entries[count].key = static_cast<WORD>(entry.key);  // 'A' is VK 'A'
    entries[count].cmd = static_cast<WORD>(entry.command);
  }
  return ::CreateAcceleratorTableW(entries, count);
}

// Tab and Shift+Tab move between the window's boxes, as in a dialog. (Not
// IsDialogMessage, which would also make Return and Esc commands 1 and 2,
// the soft keys.)
bool MoveFocusOnTab(HWND window, const MSG& message) {
  if (message.message != WM_KEYDOWN || message.wParam != VK_TAB) return false;
  bool back = (::GetKeyState(VK_SHIFT) & 0x8000) != 0;
  HWND next = ::GetNextDlgTabItem(window, ::GetFocus(), back ? TRUE : FALSE);
  if (next == nullptr) return false;
  ::SetFocus(next);
  ::SendMessageW(next, EM_SETSEL, 0, -1);
  return true;
}

}  // namespace

int RunMessageLoop(Window window, const AcceleratorTable* accelerators) {
  HWND main = win32::HwndOf(window);
  HACCEL table = CreateAccelerators(accelerators);
  running = true;
  MSG message = {};
  for (;;) {
    BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    // Keys typed anywhere in the window itself; its dialogs have their own.
    bool inWindow = message.hwnd != nullptr && ::GetAncestor(message.hwnd, GA_ROOT) == main;
    if (inWindow && table != nullptr && ::TranslateAcceleratorW(main, table, &message)) continue;
    if (inWindow && MoveFocusOnTab(main, message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  running = false;
  if (table != nullptr) ::DestroyAcceleratorTable(table);
  return message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
}

void PostQuit(int exitCode) {
  // Outside the loop the request would end the next modal loop instead.
  if (running) ::PostQuitMessage(exitCode);
}

}  // namespace platform
