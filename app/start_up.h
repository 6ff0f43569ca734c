// Start-up and the message loop.
#pragma once

#include "platform/window.h"

namespace app {

// The program's main function (platform/process_entry.h): takes the command
// line (--help and --version print and end; without a file the user
// chooses one), gives way to a running instance, fills the source path and
// the default destination, creates the main window and runs the message
// loop. Returns the exit code, 0 on every ending.
int RunProgram(const char* commandLine);

// Creates and shows the main window, titled with the source file's name,
// and makes it the one later starts find. Null when it cannot be made.
platform::Window InitInstance();

}  // namespace app
