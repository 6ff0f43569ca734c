// Start-up and the message loop.
#pragma once

#include "platform/window.h"

namespace app {

// The program's main function (platform/process_entry.h): takes the command
// line (without a file the user chooses one; --help and --version are
// answered before, by AnswerWithoutWindows), gives way to a running instance, fills the source path and
// the default destination, creates the main window and runs the message
// loop. Returns the exit code, 0 on every ending.
int RunProgram(const char* commandLine);

// --help and --version, printed before any window can be made: true, with
// the exit code 0, when the command line asks for one of them.
bool AnswerWithoutWindows(const char* commandLine, int* exitCode);

// Creates and shows the main window, titled with the source file's name,
// and makes it the one later starts find. Null when it cannot be made.
platform::Window InitInstance();

}  // namespace app
