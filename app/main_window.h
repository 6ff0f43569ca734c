// The program's only form: the password box, the destination folder box
// and the two soft keys.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace app {

// The main window's procedure. Its controls and soft keys are made on
// kCreate; command 1 (left soft key) checks the form and runs the progress
// dialog, 2 (right soft key) closes the window, 40002 (Ctrl+A) opens the
// about box; other commands are left alone. Destroying the window ends the
// message loop with 0.
bool MainWindowProcedure(platform::Window window, platform::Message message,
                         std::intptr_t parameter);

}  // namespace app
