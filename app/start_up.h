// Start-up and the message loop.
#pragma once

#include "platform/window.h"

namespace app {

// The program's main function (platform/process_entry.h): takes the command
// line, fills the source path and the default destination, gives way to a
// running instance, creates the main window and runs the message loop.
// Returns the exit code, 0 on every ending.
int RunProgram(const char* commandLine);

// Creates and shows the main window, unless another instance runs (then it
// has been brought to the front). Null when the program must end at once.
platform::Window InitInstance();

}  // namespace app
