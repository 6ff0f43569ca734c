// The device screen and the layout scale the program derives from it.
//
// The program's window stands for a Pocket PC display. On Linux it is
// 480 x 640 pixels; on Windows it is sized from the real screen
// (GetSystemMetrics) and its resolution, as DeviceScreenOnDesktop says. The
// environment variable TESSARON_SCREEN gives another size as "WxH" on both.
// The program lays itself out in pixels multiplied by the layout scale, 1
// for a shorter side of 240 pixels, 2 for 480.
#pragma once

namespace platform {

struct ScreenMetrics {
  int width = 0;
  int height = 0;
  int minimum = 0;  // the shorter side
  int scale = 0;    // layout scale, never below 1
};

inline constexpr int kDefaultScreenWidth = 480;
inline constexpr int kDefaultScreenHeight = 640;
inline constexpr int kQuarterVgaWidth = 240;  // the device's screen at layout scale 1
inline constexpr int kQuarterVgaHeight = 320;

// The device screen shown on a desktop whose windows have `desktopWidth` x
// `desktopHeight` pixels inside at `dotsPerInch`: the quarter-VGA screen at
// twice the desktop's own scale (480 x 640 at 96 dpi, 960 x 1280 at 192),
// as large a multiple as fits on the desktop, never under 240 x 320.
void DeviceScreenOnDesktop(int desktopWidth, int desktopHeight, int dotsPerInch, int* width,
                           int* height);

// Parses "WxH" with both sides from 1 to 10000 pixels.
bool ParseScreenSize(const char* text, int* width, int* height);

// The layout scale of a screen: the shorter side in single precision times
// the single-precision constant 1/240, truncated. Under 240 pixels this is 0.
int LayoutScale(int width, int height);

// A length in layout units as pixels: the product of the scale and the
// length in single precision, truncated.
int Scaled(int scale, int length);

// Measured once by static initialisation, before main runs. A screen whose
// shorter side is under 240 pixels is laid out at scale 1 rather than
// collapsing every control to nothing.
extern const ScreenMetrics screenMetrics;

}  // namespace platform
