// Progress on the terminal: one line on standard error, rewritten in place,
// shown only when standard error is a terminal.
#pragma once

#include "securefile/securefile.h"

namespace cli {

// Starts a progress line for `label` ("Decrypting") and returns the callback
// to hand to the library, or null when standard error is not a terminal.
ProgressCallback StartProgress(const char* label);
// Ends the line (if one is showing).
void ClearProgressLine();

}  // namespace cli
