// Where the main window's controls sit.
#pragma once

#include <array>

#include "platform/window.h"

namespace app {

// The password label, password box, folder label, folder box and the
// folder button beside the box at layout scale `scale`, in that order. Each
// control is 20 units high; the first four start a fixed gap below the
// previous one, the button beside the box, square. Every length is scaled
// in single precision and truncated.
std::array<platform::Rect, 5> MainWindowControlRects(int scale);

}  // namespace app
