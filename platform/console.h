// The console of a command-line program: the terminal (the console on
// Windows), standard input, and the endings that do not wait for the
// command (Ctrl+C, a closed console; on Linux SIGTERM, SIGHUP and SIGPIPE
// too), which StartConsole sets up: each removes the hidden files being
// written (RemoveStagingFilesNow), says why on standard error where it can,
// and ends the process (Ctrl+C by its signal, the others with 1). A
// file-size limit (SIGXFSZ) fails the write instead, as a full disk does.
// kva is written against it; posix/console.cpp and win32/console.cpp
// define it.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Prepares standard output and error (on Windows: UTF-8 on the console, as
// kva writes UTF-8 everywhere). Called once, first thing.
void StartConsole();

// The first line of standard input, or of the file `path` (UTF-8), into
// `line` as raw bytes, without its LF; nothing past the line is consumed
// and no buffer keeps a copy of it. False when the line does not fit
// `capacity` (terminator included) or cannot be read. *opened tells
// whether the file could be opened at all; when it could not, the system's
// reason stays for LastError() (files.h).
bool ReadFirstLineOfStandardInput(char* line, std::size_t capacity, std::size_t* length);
bool ReadFirstLineOfFile(const std::string& path, char* line, std::size_t capacity,
                         std::size_t* length, bool* opened);

// Asks on the terminal without echo and returns the answer as UTF-8.
// False when there is no terminal to ask on.
bool AskHidden(const char* prompt, char* line, std::size_t capacity);

// Asks `question` on the terminal and reads the line typed in answer
// (UTF-8, without its line end). False when standard input is no terminal:
// a run that was not started from one is never asked anything.
bool AskLine(const char* question, char* answer, std::size_t capacity);

// Whether standard output is a terminal (the console on Windows).
bool OutputIsTerminal();

// Progress is shown only when standard error is a terminal; the line is
// rewritten in place and erased with EraseLine (`width` columns were used).
bool ErrorIsTerminal();
void EraseLine(std::size_t width);
// The width of that terminal in columns (80 when it cannot be told).
int TerminalColumns();

}  // namespace platform
