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

}  // namespace

std::array<platform::Rect, 4> MainWindowControlRects(int scale) {
  std::array<platform::Rect, 4> rects{};
  int previousBottom = 0;
  for (std::size_t i = 0; i < rects.size(); ++i) {
    const ControlPlacement& placement = kPlacements[i];
    platform::Rect& rect = rects[i];
    rect.left = platform::Scaled(scale, placement.left);
    rect.top = previousBottom + platform::Scaled(scale, placement.gapAbove);
    rect.right = platform::Scaled(scale, placement.right);
    rect.bottom = rect.top + platform::Scaled(scale, kControlHeight);
    previousBottom = rect.bottom;
  }
  return rects;
}

}  // namespace app
