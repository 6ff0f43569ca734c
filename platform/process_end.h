// Ending the process.
//
// The job ends the whole process when a run is over, from its worker thread,
// and the progress dialog's cancel command ends it at once from the
// user-interface thread. How that is done safely depends on who runs the
// program, so it is a service like the message boxes: the application
// installs one that hands the ending to its event loop, tests install one
// that only records it.
#pragma once

namespace platform {

class ProcessEnding {
 public:
  virtual ~ProcessEnding() = default;
  // Orderly ending from any thread. It may return: the caller must then
  // return to its thread's start at once, touching nothing shared.
  virtual void End(int exitCode) = 0;
  // Immediate ending, whatever other threads are doing; no destructors or
  // exit handlers run. Returns only when a test has captured it.
  // EndProcessAtOnce removes the staging files being written before it
  // calls this.
  virtual void EndAtOnce(int exitCode) = 0;
};

// Installs the service for the whole process (null: the defaults below).
void SetProcessEnding(ProcessEnding* ending);

// Without a service: std::exit and std::_Exit on Linux; on Windows std::exit
// and ExitProcess.
void EndProcess(int exitCode);
void EndProcessAtOnce(int exitCode);

}  // namespace platform
