// The run's temporary package: the decrypted package between decryption
// and unpacking. It is scratch space that never has a name anyone could
// open or swap (platform::File::CreateScratch: on Linux a file without a
// name in the system temporary folder, on Windows one that admits only its
// owner and is deleted when closed), so it goes with the process however
// the run ends, kill -9, a crash or the end of the user's session included.
#pragma once

#include "platform/files.h"

namespace job {

// Windows needs a name for it: this prefix, as the device named it.
inline constexpr char16_t kTempFilePrefix[] = u"$kva@tmp";

// Creates the file, open for writing and then reading, and hands it to the
// worker, which alone uses it. Null when no such file could be created.
platform::File* ReserveTempFile();

// Closes the file, which removes it; later calls do nothing.
void RemoveTempFile();

// Ends the process at once; the file goes with it. The ending removes the
// hidden file unpacking may be writing in the destination, too.
void RemoveTempFileAndEndAtOnce(int exitCode);

}  // namespace job
