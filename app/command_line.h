// The command line: the encrypted file's path, and the folder the form
// offers to decrypt into.
#pragma once

#include <string>

#include "platform/wide_string.h"

namespace app {

enum class CommandLine {
  kFile,           // `path` holds the file to decrypt
  kNoFile,         // nothing named: the file is to be chosen
  kHelp,           // --help
  kVersion,        // --version
  kUnknownOption,  // anything else that starts with '-'
  kBadPath,        // a path that cannot be used
};

// What the command line (UTF-8) asks for. Unless it is an option, the whole
// of it is the encrypted file's path, blanks included ("--" and a blank in
// front of it let the path start with '-'): one surrounding double quote
// taken off each end, made absolute against the working folder and turned
// into a device path. Nothing left names no file. A path that would hold
// 260 characters or more, or that has no device spelling, is bad: nothing
// is ever cut to another path.
CommandLine ReadCommandLine(const char* commandLine, char16_t (&path)[platform::kMaxPath]);

// A host path (UTF-8) typed by the user as an absolute device path. False
// when it is empty, too long or has no device spelling.
bool HostPathToDevice(const std::string& hostPath, char16_t (&devicePath)[platform::kMaxPath]);

// The same for `length` units of UTF-16 text, as a box or a chooser gives it.
bool HostTextToDevice(const char16_t* text, std::size_t length,
                      char16_t (&devicePath)[platform::kMaxPath]);

// The main window's title: the file's name as the host spells it, then the
// program's, "report.kva — Tessaron"; cut to `capacity` units.
void MainWindowTitle(const char16_t* sourcePath, const char16_t* programName, char16_t* title,
                     std::size_t capacity);

// The folder the form shows at first: the folder that holds the file named
// by the command line, surrounding quotes removed; the root for a file in
// the root; the whole text when it holds no backslash; `fallback` for an
// empty command line.
void DeriveDestination(const char16_t* commandLine, const char16_t* fallback,
                       char16_t (&destination)[platform::kMaxPath]);

}  // namespace app
