// Dialogs from their templates, laid out in pixels as platform/window_layout.h
// converts them.
#pragma once

#include "platform/resource_types.h"

class QDialog;
class QWidget;

namespace platform::qt {

// Gives `dialog` the look of its template and creates its controls at their
// converted rectangles. A template with a caption gets a title bar (the
// caption and, with kStyleOkInCaption, an OK button that sends command 1)
// and its controls sit below it. The dialog is sized to the device screen,
// over `owner`'s window when there is one.
void BuildDialog(QDialog* dialog, QWidget* owner, const DialogTemplate& dialogTemplate, int scale);

// A control's id, by which FindControl finds it.
void SetControlId(QWidget* control, int id);

// The control of `window` with this id, or null.
QWidget* FindControl(QWidget* window, int id);

// The device's white window background.
void PaintWhite(QWidget* window);

// Sizes `window` to the device screen and places it over `owner`'s window;
// without an owner the window manager places it.
void CoverDeviceScreen(QWidget* window, QWidget* owner);

}  // namespace platform::qt
