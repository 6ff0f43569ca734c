// Start-up and the message loop.
#pragma once

#include "job/progress_dialog.h"
#include "platform/wide_string.h"

class QWidget;

namespace app {

class MainWindow;

// The program's main function after the application object exists: takes
// the command line, fills the source path and the default destination,
// gives way to a running instance, creates the main window and runs the
// message loop. Returns the exit code, 0 on every ending.
int RunProgram(int argumentCount, char** arguments);

// Turns accelerator table 2 on for `window`.
void InstallAccelerators(QWidget* window);

// Creates and shows the main window, unless another instance runs (then it
// has been brought to the front). Null when the program must end at once.
MainWindow* InitInstance(job::WorkerEntry worker);

}  // namespace app
