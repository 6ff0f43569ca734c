// The progress dialog of a run: a notice, the current item and a bar from
// 0 to 100, full screen and modal over the main window. It starts the worker
// when it is initialised; its cancel command (Esc) ends the process at once.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace job {

// A run's body, on its own thread; its argument is the progress dialog.
using WorkerEntry = void (*)(void* dialog);

// What the progress dialog starts: RunWorker (tests put their own here).
extern WorkerEntry workerEntry;

// The dialog procedure of dialog 107.
bool ProgressDialogProcedure(platform::Window dialog, platform::Message message,
                             std::intptr_t parameter);

// Runs the progress dialog modally over `owner`, with workerEntry behind
// it. In the ordinary course the process ends before this returns.
int OpenProgressDialog(platform::Window owner);

// Waits for the worker thread to finish, if one was started. The
// application calls it before it returns from main.
void JoinWorker();

}  // namespace job
