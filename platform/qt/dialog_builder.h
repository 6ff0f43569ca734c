// Dialogs from their templates.
//
// Dialog units are converted to pixels with fixed base units: a dialog-unit
// width is 6 x S / 4 pixels and a dialog-unit height 13 x S / 8 pixels, S
// being the layout scale, each product rounded to the nearest pixel. At S = 1
// the 156-unit-wide templates span 234 pixels of a 240-pixel screen.
// (docs/dialog-units.md has the reasoning.)
#pragma once

#include <QRect>

#include "platform/resource_types.h"

class QDialog;
class QWidget;

namespace platform::qt {

inline constexpr int kDialogBaseUnitX = 6;   // average character width at S = 1
inline constexpr int kDialogBaseUnitY = 13;  // character height at S = 1

QRect DialogUnitsToPixels(int x, int y, int width, int height, int scale);

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
