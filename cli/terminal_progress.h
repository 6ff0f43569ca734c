// Progress on the terminal, as archivers and pv show it: one line on
// standard error with a bar, the bytes done and in all, the rate and the
// time left, redrawn a few times a second and cleared at the end. Nothing
// is shown when standard error is not a terminal.
#pragma once

#include <cstdint>
#include <string>

#include "securefile/securefile.h"

namespace cli {

// Starts a progress line for `label` ("Decrypting") and returns the callback
// to hand to the library, or null when standard error is not a terminal.
// Package operations report bytes; container operations report chunks, so
// for them `totalBytes` gives the size their chunks add up to.
ProgressCallback StartProgress(const char* label, std::uint64_t totalBytes = 0);
// Clears the line (if one is showing).
void ClearProgressLine();

// The line for `done` of `total` bytes after `seconds`, at most `width`
// columns wide: label, percentage, bar, bytes, rate and time left. The rate
// and the time left show as dashes until a rate can be told.
std::string FormatProgressLine(const char* label, std::uint64_t done, std::uint64_t total,
                               double seconds, int width);

}  // namespace cli
