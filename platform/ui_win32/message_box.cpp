// Message boxes on Win32 (platform/message_box.h).
#include "platform/ui_win32/back_end.h"

namespace platform::win32 {

int Win32MessageBoxService::Show(void* owner, const char16_t* text, const char16_t* caption,
                                 unsigned style) {
  UINT flags = style & (kButtonsMask | kIconMask);
  // Without an owner the box still keeps the program's windows waiting.
  if (owner == nullptr) flags |= MB_TASKMODAL | MB_SETFOREGROUND;
  return ::MessageBoxW(static_cast<HWND>(owner), Wide(text), Wide(caption), flags);
}

}  // namespace platform::win32
