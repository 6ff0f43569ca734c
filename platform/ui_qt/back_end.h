// What the files of the Qt back end share. A window handle of
// platform/window.h is the QWidget itself; controls are known by their ids;
// the device's windows are white and cover its screen. The message-box and
// process-ending services are installed by the process entry.
#pragma once

#include <QString>
#include <cstdint>

#include "platform/message_box.h"
#include "platform/process_end.h"
#include "platform/window.h"

class QWidget;

namespace platform::qt {

inline Window HandleOf(QWidget* widget) { return reinterpret_cast<Window>(widget); }
inline QWidget* WidgetOf(Window window) { return reinterpret_cast<QWidget*>(window); }

// Hands `message` to the procedure of `widget`, on this thread, and does
// the default when the procedure leaves it (or `widget` has none).
void Dispatch(QWidget* widget, Message message, std::intptr_t parameter);

// The Qt resource path of icon `id`: the program compiles its icons in as
// ":/icons/<id>.png".
QString IconPath(int id);

// Deletes the main windows still there when the program's main function
// has returned.
void DeleteRemainingWindows();

// A control's id, by which FindControl finds it.
void SetControlId(QWidget* control, int id);

// The control of `window` with this id, or null.
QWidget* FindControl(QWidget* window, int id);

// The device's white window background.
void PaintWhite(QWidget* window);

// Sizes `window` to the device screen and places it over `owner`'s window;
// without an owner the window manager places it.
void CoverDeviceScreen(QWidget* window, QWidget* owner);

// The message-box service of the application: real modal Qt message boxes
// with the button texts of the resource language (Russian, as on the device,
// or English).
//
// Shows each box on the user-interface thread, modal, owned by the window
// passed as owner (a QWidget* converted to void*, or null). A thread other than the user-interface
// thread waits there until the box is answered.
//
// A Yes/No box cannot be dismissed with Esc or the close button: as on the
// device, one of its two answers must be chosen, so that dismissing the
// success question never deletes the encrypted file.
class QtMessageBoxService : public MessageBoxService {
 public:
  int Show(void* owner, const char16_t* text, const char16_t* caption, unsigned style) override;
};

// Ending the process of the Qt application. End hands the ending to the
// user-interface thread: every running event loop, modal ones included, is
// left and the application's main function returns the code, so the process
// ends on that thread with its objects destroyed in order rather than under
// a running event loop. EndAtOnce ends the process on the spot.
class QtProcessEnding : public ProcessEnding {
 public:
  void End(int exitCode) override;
  void EndAtOnce(int exitCode) override;
};

}  // namespace platform::qt
