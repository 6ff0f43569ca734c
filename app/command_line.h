// The command line: the encrypted file's path, and the folder the form
// offers to decrypt into.
#pragma once

#include <string>

#include "platform/wide_string.h"

namespace app {

// The encrypted file's path from the command line (UTF-8, the whole of it
// is the path, blanks included): one surrounding double quote taken off
// each end, made absolute against the working folder and turned into a
// device path. False when nothing is left, when the result would hold 260
// characters or more, or when the path has no device spelling; nothing is
// ever cut to another path.
bool CommandLineToDevice(const char* commandLine, char16_t (&path)[platform::kMaxPath]);

// A host path (UTF-8) typed by the user as an absolute device path. Same
// rules.
bool HostPathToDevice(const std::string& hostPath, char16_t (&devicePath)[platform::kMaxPath]);

// The folder the form shows at first: the folder that holds the file named
// by the command line, surrounding quotes removed; the root for a file in
// the root; the whole text when it holds no backslash; `fallback` for an
// empty command line.
void DeriveDestination(const char16_t* commandLine, const char16_t* fallback,
                       char16_t (&destination)[platform::kMaxPath]);

}  // namespace app
