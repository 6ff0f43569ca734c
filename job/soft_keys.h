// The soft keys that the main window and the progress dialog put up from
// their menus (the device's menu bar).
#pragma once

#include "platform/window.h"

namespace job {

// Creates the soft keys of menu `menuId` along the bottom of `parent`.
// On failure tells the user, in a box owned by `parent`, and returns null;
// the window then goes on without soft keys.
platform::Window CreateMenuBar(platform::Window parent, int menuId);

}  // namespace job
