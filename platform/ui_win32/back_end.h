// What the files of the Win32 back end share. A window handle of
// platform/window.h is the HWND itself, and a window or dialog procedure
// hears of the Win32 messages that the program's procedures know, under
// their device numbers. The message-box and process-ending services are
// installed by the process entry.
#pragma once

#include <cstdint>

#include "platform/message_box.h"
#include "platform/process_end.h"
#include "platform/win32/windows_api.h"
#include "platform/window.h"

namespace platform::win32 {

inline HWND HwndOf(Window window) { return reinterpret_cast<HWND>(window); }
inline Window HandleOf(HWND window) { return reinterpret_cast<Window>(window); }

// What a later start's WM_COPYDATA carries (COPYDATASTRUCT::dwData): the
// device path of its file, UTF-16 with its terminator.
inline constexpr ULONG_PTR kHandOverFile = 0x4B564131;  // "KVA1"

// The program's module: its icon and dialogs' resources.
HINSTANCE ProgramModule();

// Hands a Win32 message to `procedure` when it is one of platform::Message
// (commands only as a menu, accelerator or button sends them, not a
// control's notifications). True when the procedure handled it.
bool CallProcedure(WindowProcedure procedure, HWND window, UINT message, WPARAM wParam);

// The device's sans serif ("MS Shell Dlg", which the system maps to its own
// dialog font) `pixels` high; made once per size for the process's life.
HFONT TextFont(int pixels);

// A `width` x `height` rectangle centred over `over` (the work area of
// `monitor` when null), kept within that work area.
RECT CentredInWorkArea(HMONITOR monitor, int width, int height, const RECT* over);

// The device's white background, for the brush a window or dialog answers
// WM_CTLCOLORSTATIC and WM_CTLCOLORDLG with.
HBRUSH WhiteBackground(HDC context);

// MessageBoxW takes the program's styles and gives its answers as they are:
// they are the MB_ and ID values. A Yes/No box has no Cancel, so Esc and the
// close button cannot dismiss it.
class Win32MessageBoxService : public MessageBoxService {
 public:
  int Show(void* owner, const char16_t* text, const char16_t* caption, unsigned style) override;
};

// The device's ending, from whichever thread: ExitProcess stops the other
// threads first. The job has removed its files and wiped the password
// before it asks; EndProcessAtOnce removes the files being unpacked.
class Win32ProcessEnding : public ProcessEnding {
 public:
  void End(int exitCode) override;
  void EndAtOnce(int exitCode) override;
};

}  // namespace platform::win32
