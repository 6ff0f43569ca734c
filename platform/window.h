// Windows and controls, in the device's programming model.
//
// A window is an opaque handle; what it does is a procedure that the
// toolkit calls with messages; its controls are child windows known by
// their ids. The program's logic (app/, job/) sees only this, so it exists
// once whatever draws the windows: platform/ui_qt/ on Qt 6 Widgets, and
// platform/ui_win32/ with HWNDs, window procedures and SendMessage.
//
// Unless a function says otherwise, it is called on the user-interface
// thread. The calls that say "from any thread" wait, when made on another
// thread, until the user-interface thread has carried them out, as a window
// message sent to another thread does.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/resource_types.h"

namespace platform {

struct WindowObject;  // never defined: an HWND on Windows, a QWidget on Qt
using Window = WindowObject*;

// What the program's procedures are told, numbered as on the device.
enum class Message : unsigned {
  kCreate = 0x0001,          // the window exists, not shown yet: make its controls
  kDestroy = 0x0002,         // the window goes
  kActivate = 0x0006,        // parameter: nonzero when it becomes the active window
  kClose = 0x0010,           // the user, or the program, asks it to close
  kCopyData = 0x004A,        // a later start hands over its file: parameter, its device
                             // path (const char16_t*, valid during the call)
  kSettingChange = 0x001A,   // a system setting changed
  kInitDialog = 0x0110,      // a dialog was built from its template, not shown yet
  kCommand = 0x0111,         // parameter: the command id (soft key, accelerator, button)
};

// The command a dialog receives for Esc, and for a close it leaves alone.
inline constexpr int kCommandCancel = 2;

// A window or dialog procedure: true when it handled the message.
// Otherwise the toolkit does what the system does by default: a window
// asked to close is destroyed (its procedure then gets kDestroy), a dialog
// asked to close gets command kCommandCancel, and anything else is ignored.
using WindowProcedure = bool (*)(Window window, Message message, std::intptr_t parameter);

struct Rect {
  int left, top, right, bottom;  // pixels; right and bottom exclusive
  bool operator==(const Rect&) const = default;
};

enum class ControlKind {
  kLabel,        // static text
  kPasswordBox,  // one line, shows no characters
  kTextBox,      // one line
  kButton,       // a push button: pressing it sends its id to `parent` as a command
};

// The program's main window: window class `className`, title `title`,
// icon `iconId`, white, the size of the device screen. `procedure` gets
// kCreate before the window shows; the window is shown when this returns.
// Null on failure.
Window CreateMainWindow(const char16_t* className, const char16_t* title, int iconId,
                        WindowProcedure procedure);

// Control `id` of `parent` at `rect` (inside the window) showing `text`.
// A box takes at most `maxLength` characters (0: no limit of its own).
Window CreateControl(Window parent, ControlKind kind, int id, const char16_t* text,
                     const Rect& rect, std::size_t maxLength);

// The menu bar of `window`: the first two items of `menu` as soft keys along
// its bottom edge. Pressing a key, or F1 (left) or F2 (right), sends the
// item's command to the window. Null when it cannot be made.
Window CreateSoftKeyBar(Window window, const MenuResource& menu);

// Control `id` of a window or dialog, or null. From any thread.
Window GetControl(Window window, int id);

// A window's text into `buffer` (`capacity` units with the terminator, cut
// to fit; empty for a null window). Returns the units read. From any thread.
std::size_t GetText(Window window, char16_t* buffer, std::size_t capacity);

// Sets a window's text (a control's, or a window's title). A null window
// is passed over. From any thread.
void SetText(Window window, const char16_t* text);

// Moves a progress bar (range 0 to 100, starting at 0) to `position`; a
// position above the range shows it full. A null bar is passed over. From
// any thread.
void SetProgressPosition(Window bar, std::uint32_t position);

// Gives the keyboard focus to a control.
void Focus(Window window);

// Hands `message` to the window's procedure, with the default handling
// above, and returns when it has been handled. From any thread.
void SendToWindow(Window window, Message message, std::intptr_t parameter = 0);

// Destroys a window and its controls: its procedure gets kDestroy first.
void Destroy(Window window);

}  // namespace platform
