// The Win32 side of platform/window.h: a window handle is the HWND itself,
// and a window or dialog procedure hears of the Win32 messages that the
// program's procedures know, under their device numbers.
#pragma once

#include <cstdint>

#include "platform/win32/windows_api.h"
#include "platform/window.h"

namespace platform::win32 {

inline HWND HwndOf(Window window) { return reinterpret_cast<HWND>(window); }
inline Window HandleOf(HWND window) { return reinterpret_cast<Window>(window); }

// The program's module: its icon and dialogs' resources.
HINSTANCE ProgramModule();

// Hands a Win32 message to `procedure` when it is one of platform::Message
// (commands only as a menu, accelerator or button sends them, not a
// control's notifications). True when the procedure handled it.
bool CallProcedure(WindowProcedure procedure, HWND window, UINT message, WPARAM wParam);

// The device's sans serif ("MS Shell Dlg", which the system maps to its own
// dialog font) `pixels` high; made once per size for the process's life.
HFONT TextFont(int pixels);

// The device's white background, for the brush a window or dialog answers
// WM_CTLCOLORSTATIC and WM_CTLCOLORDLG with.
HBRUSH WhiteBackground(HDC context);

}  // namespace platform::win32
