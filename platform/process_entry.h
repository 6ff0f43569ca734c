// Where the process enters the program.
#pragma once

namespace platform {

// The program's main function: takes the command line exactly as the
// process received it, without the program's name, as UTF-8; returns the
// exit code.
using ProgramMain = int (*)(const char* commandLine);

// The process's entry, called by main(): sets up the windowing toolkit and
// the program's look, installs the message-box and process-ending services
// (platform/message_box.h, platform/process_end.h), and runs `programMain`,
// whose exit code it returns. The command line: on Linux the arguments
// after the program's name joined by single blanks, taken before the
// toolkit removes the options it knows; on Windows, the text that follows
// the program's name in GetCommandLineW.
// `answer`, when given, sees the command line first, before the toolkit
// starts (so without a display): true, with the exit code, when it has
// answered it alone (--help, --version).
using AnswerWithoutWindows = bool (*)(const char* commandLine, int* exitCode);
int RunProcess(int argumentCount, char** arguments, ProgramMain programMain,
               AnswerWithoutWindows answer = nullptr);

// Writes `text` (ASCII) to the standard output the process was started
// with, for --help and --version. A windowed Windows program has one when
// its output is redirected; otherwise the text goes to the console of the
// command prompt it was started from, if any.
void WriteOutput(const char* text);

}  // namespace platform
