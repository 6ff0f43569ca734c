#include "platform/window_layout.h"

#include <algorithm>

namespace platform {
namespace {

int MulDivRounded(int value, int base, int divisor) {
  return (value * base + divisor / 2) / divisor;
}

}  // namespace

Rect DialogUnitsToPixels(const DialogItem& item, int scale) {
  int baseX = kDialogBaseUnitX * scale;
  int baseY = kDialogBaseUnitY * scale;
  int left = MulDivRounded(item.x, baseX, 4);
  int top = MulDivRounded(item.y, baseY, 8);
  return {left, top, left + MulDivRounded(item.width, baseX, 4),
          top + MulDivRounded(item.height, baseY, 8)};
}

bool IsOneLineText(const DialogItem& item) {
  return item.controlClass == ControlClass::kStatic && item.height < 16;
}

Rect OneLineTextRoom(const Rect& rect, int dialogWidth) {
  Rect room = rect;
  room.right = std::max(rect.right, dialogWidth - rect.left);
  return room;
}

}  // namespace platform
