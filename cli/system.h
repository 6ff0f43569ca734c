// What kva needs from the operating system beyond the platform layer: the
// terminal (the console on Windows), standard input, interruption (Ctrl+C)
// and moving a finished output into place. cli/system_posix.cpp and
// cli/system_win32.cpp define it.
#pragma once

#include <cstddef>
#include <string>

namespace cli {

// How paths are written on this host: '/' on Linux, '\' on Windows.
extern const char kHostSeparator;

// Prepares standard output and error (on Windows: UTF-8 on the console, as
// kva writes UTF-8 everywhere). Called once, first thing.
void StartConsole();

// The first line of standard input, or of the file `path`, into `line` as
// raw bytes, without its LF; nothing past the line is consumed and no
// buffer keeps a copy of it. False when the line does not fit `capacity`
// (terminator included) or cannot be read; *error then says why.
bool ReadFirstLineOfStandardInput(char* line, std::size_t capacity, std::size_t* length,
                                  std::string* error);
bool ReadFirstLineOfFile(const std::string& path, char* line, std::size_t capacity,
                         std::size_t* length, std::string* error);

// Asks on the terminal without echo and returns the answer as UTF-8.
// False when there is no terminal to ask on.
bool AskHidden(const char* prompt, char* line, std::size_t capacity);

// Asks a yes/no question on the terminal; false (no) when there is none.
bool AskYesNo(const char* question);

// Progress is shown only when standard error is a terminal; the line is
// rewritten in place and erased with EraseLine (`width` columns were used).
bool ErrorIsTerminal();
void EraseLine(std::size_t width);
// The width of that terminal in columns (80 when it cannot be told).
int TerminalColumns();

// Until StopWatching, an interruption (Ctrl+C, a closed console, SIGTERM
// or SIGHUP) removes the file `path` before the process ends. From
// StartConsole on, an interruption also removes any file unpacking is
// writing under its hidden name (platform::RemoveStagingFilesNow).
void WatchForInterruption(const char16_t* path);
void StopWatching();

// Gives the finished file `from` the access any new file gets in its
// folder (it was private while incomplete) and renames it to `to`,
// replacing an existing file only when `replace`. False with the system's
// reason in LastErrorText() (messages.h).
bool MoveIntoPlace(const char16_t* from, const char16_t* to, bool replace);

}  // namespace cli
