// The pixel geometry that both windowing back ends share, so that the Qt
// build and the Win32 build lay the program out alike
// (docs/dialog-units.md has the reasoning).
//
// Dialog units are converted with fixed base units rather than from the
// font each system happens to have: a dialog-unit width is 6 x S / 4 pixels
// and a dialog-unit height 13 x S / 8 pixels, S being the layout scale, each
// product rounded to the nearest pixel. At S = 1 the 156-unit-wide
// templates span 234 pixels of a 240-pixel screen.
#pragma once

#include "platform/resource_types.h"
#include "platform/window.h"

namespace platform {

inline constexpr int kDialogBaseUnitX = 6;   // average character width at S = 1
inline constexpr int kDialogBaseUnitY = 13;  // character height at S = 1

// The soft-key bar, and a dialog's title bar where the back end draws one,
// are this many pixels high at S = 1.
inline constexpr int kBarHeight = 26;

// The text of windows (the main form, the soft keys) is this many pixels
// high at S = 1; a dialog's text is its template's point size in pixels at
// S = 1.
inline constexpr int kWindowTextPixels = 11;

// A template item's rectangle in pixels at layout scale `scale`.
Rect DialogUnitsToPixels(const DialogItem& item, int scale);

// Static text wraps within a rectangle of two lines or more; a one-line text
// is never wrapped (a second line would not show).
bool IsOneLineText(const DialogItem& item);

// The rectangle a one-line text may take in a dialog `dialogWidth` pixels
// wide: the desktop's fonts are wider than the device's, so it may run on
// past its own rectangle up to the dialog's right margin (as wide as its
// left one) rather than lose its last characters.
Rect OneLineTextRoom(const Rect& rect, int dialogWidth);

// The font size in pixels at which a one-line text fits `room` pixels:
// `pixels`, or a little smaller, down to three quarters of it (where the
// text is cut even so). `widthAt(size)` measures the text at a size.
template <typename Measure>
int FittingTextPixels(int pixels, int room, Measure widthAt) {
  int smallest = pixels * 3 / 4;
  while (pixels > smallest && widthAt(pixels) > room) --pixels;
  return pixels;
}

}  // namespace platform
