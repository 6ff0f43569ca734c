// The Qt side of platform/window.h: a window handle is the QWidget itself.
#pragma once

#include <QString>
#include <cstdint>

#include "platform/window.h"

class QWidget;

namespace platform::qt {

inline Window HandleOf(QWidget* widget) { return reinterpret_cast<Window>(widget); }
inline QWidget* WidgetOf(Window window) { return reinterpret_cast<QWidget*>(window); }

// Hands `message` to the procedure of `widget`, on this thread, and does
// the default when the procedure leaves it (or `widget` has none).
void Dispatch(QWidget* widget, Message message, std::intptr_t parameter);

// The Qt resource path of icon `id`: res/icons.qrc names each icon by its id.
QString IconPath(int id);

// Deletes the main windows still there when the program's main function
// has returned.
void DeleteRemainingWindows();

}  // namespace platform::qt
