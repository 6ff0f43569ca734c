// Where the main window's controls sit.
#pragma once

#include <array>

#include "platform/window.h"

namespace app {

// The password label, password box, folder label and folder box at layout
// scale `scale`, in that order. Each control is 20 units high and starts a
// fixed gap below the previous one; every length is scaled in single
// precision and truncated.
std::array<platform::Rect, 4> MainWindowControlRects(int scale);

}  // namespace app
