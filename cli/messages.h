// kva's messages on standard error.
#pragma once

#include <cstddef>
#include <string>

namespace cli {

// Prints "kva: <message>" and a newline to standard error.
void PrintError(const std::string& message);

// The same for a note that is no error: every line kva writes to standard
// error starts with "kva: " (prompts and the progress line aside).
void PrintNote(const std::string& message);

// Quotes a path for a message, on one line: control characters in it (a
// newline in a file name) are written as C escapes, "\n", "\x1b", "\u009b".
std::string Quoted(const std::string& path);

// The text (UTF-8) with its control characters (C0, DEL and C1) written as
// C escapes, so that a message about one problem stays on one line and a
// name cannot speak to the terminal.
std::string OneLine(const std::string& text);

// "1 file", "3 files".
std::string Count(std::size_t count, const std::string& noun);

// A system error, and the last one of the calling thread, in words.
std::string ErrorText(int error);
std::string LastErrorText();

}  // namespace cli
