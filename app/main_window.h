// The program's only form: the password box, the destination folder box
// and the two soft keys.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace app {

// The main window's procedure. Its controls and soft keys are made on
// kCreate; command 1 (left soft key) checks the form and runs the progress
// dialog, 2 (right soft key) closes the window, 40002 (Ctrl+A) opens the
// about box, 205 (the button beside the folder box) the folder chooser;
// other commands are left alone. A later start's file other than this run's
// (kCopyData) is named in a box. Destroying the window ends the message
// loop with 0.
bool MainWindowProcedure(platform::Window window, platform::Message message,
                         std::intptr_t parameter);

// Tells the user that one container is opened at a time and `file` (a
// device path) was not, in a box owned by `owner` (may be null).
void ShowOneAtATime(platform::Window owner, const char16_t* file);

}  // namespace app
