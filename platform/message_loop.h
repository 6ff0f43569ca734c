// The message loop of the user-interface thread.
#pragma once

#include "platform/resource_types.h"
#include "platform/window.h"

namespace platform {

// Runs until PostQuit (or an orderly ending of the process) and returns the
// exit code given there. A key combination of `accelerators` (may be null)
// typed anywhere in `window` becomes the table's command for `window`,
// instead of reaching the focused control.
int RunMessageLoop(Window window, const AcceleratorTable* accelerators);

// Ends RunMessageLoop with `exitCode`. The program calls it only while the
// loop runs (the Qt build ignores it otherwise, so that no later loop of a
// test ends early).
void PostQuit(int exitCode);

}  // namespace platform
