#include "app/layout.h"

#include "platform/screen.h"

namespace app {
namespace {

struct ControlPlacement {
  int left;
  int gapAbove;  // the first control's gap is its top
  int right;
};

constexpr ControlPlacement kPlacements[4] = {
    {10, 20, 220},  // label "Введите пароль!"
    {10, 4, 200},   // password box
    {10, 10, 220},  // label "Укажите путь к файлу"
    {10, 4, 200},   // folder box
};
constexpr int kControlHeight = 20;
// The folder button: 4 units right of the box, as wide as it is high, so
// that it ends within the labels' 220 units.
constexpr int kButtonLeft = 204;

}  // namespace

std::array<platform::Rect, 5> MainWindowControlRects(int scale) {
  std::array<platform::Rect, 5> rects{};
  int previousBottom = 0;
  for (std::size_t i = 0; i < std::size(kPlacements); ++i) {
    const ControlPlacement& placement = kPlacements[i];
    platform::Rect& rect = rects[i];
    rect.left = platform::Scaled(scale, placement.left);
    rect.top = previousBottom + platform::Scaled(scale, placement.gapAbove);
    rect.right = platform::Scaled(scale, placement.right);
    rect.bottom = rect.top + platform::Scaled(scale, kControlHeight);
    previousBottom = rect.bottom;
  }
  rects[4] = {platform::Scaled(scale, kButtonLeft), rects[3].top,
              platform::Scaled(scale, kButtonLeft + kControlHeight), rects[3].bottom};
  return rects;
}

}  // namespace app
