// The run's temporary file: the decrypted package between decryption and
// unpacking. It is private to the user (0600), in the system temporary
// folder, and removed on every ending of the run once reserved, including
// the progress dialog's cancel command on the user-interface thread; the
// two threads therefore take turns on it.
#pragma once

#include "platform/wide_string.h"

namespace job {

inline constexpr char16_t kTempFilePrefix[] = u"$kva@tmp";

// Creates the empty file and returns its path. False when no file could be
// created.
bool ReserveTempFile(char16_t (&path)[platform::kMaxPath]);

// Deletes the file if one is reserved; later calls do nothing.
void RemoveTempFile();

// Deletes the file and ends the process at once, so that the worker cannot
// reserve another one in between. The ending removes the file unpacking
// may be writing in the destination, too.
void RemoveTempFileAndEndAtOnce(int exitCode);

}  // namespace job
