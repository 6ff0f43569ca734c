// The body of one decryption run, on its own thread.
#pragma once

namespace job {

// Thread entry; `dialog` is the progress dialog (a platform::Window), the
// owner of every message box of the run. Checks the destination folder
// (offering to create it), decrypts the source into the temporary file,
// unpacks that into the destination, reports the outcome and ends the
// process with 0. Returns once the ending has been handed over.
void RunWorker(void* dialog);

}  // namespace job
