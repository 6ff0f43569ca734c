#include "platform/screen.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>

#include "platform/shared/host.h"

namespace platform {
namespace {

// 1/240 as the device computes it: the nearest single-precision value.
const float kOneTwoHundredFortieth = std::bit_cast<float>(std::uint32_t{0x3B888889});

bool ParseSide(const char*& text, int* side) {
  if (*text < '0' || *text > '9') return false;
  long value = 0;
  while (*text >= '0' && *text <= '9') {
    value = value * 10 + (*text - '0');
    if (value > 10000) return false;
    ++text;
  }
  if (value < 1) return false;
  *side = static_cast<int>(value);
  return true;
}

ScreenMetrics MeasureScreen() {
  ScreenMetrics metrics;
  int desktopWidth = 0;
  int desktopHeight = 0;
  int dotsPerInch = 0;
  if (host::DesktopSize(&desktopWidth, &desktopHeight, &dotsPerInch)) {
    DeviceScreenOnDesktop(desktopWidth, desktopHeight, dotsPerInch, &metrics.width,
                          &metrics.height);
  } else {
    metrics.width = kDefaultScreenWidth;
    metrics.height = kDefaultScreenHeight;
  }
  const char* text = std::getenv("TESSARON_SCREEN");
  int width = 0;
  int height = 0;
  if (text != nullptr && ParseScreenSize(text, &width, &height)) {
    metrics.width = width;
    metrics.height = height;
  }
  metrics.minimum = std::min(metrics.width, metrics.height);
  metrics.scale = std::max(1, LayoutScale(metrics.width, metrics.height));
  return metrics;
}

}  // namespace

bool ParseScreenSize(const char* text, int* width, int* height) {
  if (!ParseSide(text, width)) return false;
  if (*text != 'x' && *text != 'X') return false;
  ++text;
  if (!ParseSide(text, height)) return false;
  return *text == '\0';
}

void DeviceScreenOnDesktop(int desktopWidth, int desktopHeight, int dotsPerInch, int* width,
                           int* height) {
  int scale = std::max(1, 2 * dotsPerInch / 96);
  while (scale > 1 && (kQuarterVgaWidth * scale > desktopWidth ||
                       kQuarterVgaHeight * scale > desktopHeight)) {
    --scale;
  }
  *width = kQuarterVgaWidth * scale;
  *height = kQuarterVgaHeight * scale;
}

int LayoutScale(int width, int height) {
  float shorter = static_cast<float>(std::min(width, height));
  return static_cast<int>(shorter * kOneTwoHundredFortieth);
}

int Scaled(int scale, int length) {
  return static_cast<int>(static_cast<float>(scale) * static_cast<float>(length));
}

const ScreenMetrics screenMetrics = MeasureScreen();

}  // namespace platform
