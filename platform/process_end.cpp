#include "platform/process_end.h"

#include <atomic>

#include "platform/native.h"

#include "platform/files.h"

namespace platform {
namespace {
std::atomic<ProcessEnding*> installed{nullptr};
}  // namespace

void SetProcessEnding(ProcessEnding* ending) { installed.store(ending); }

void EndProcess(int exitCode) {
  ProcessEnding* ending = installed.load();
  if (ending == nullptr) native::Exit(exitCode);
  ending->End(exitCode);
}

void EndProcessAtOnce(int exitCode) {
  // No writer gets to finish or clean up: the files they were writing,
  // still under their hidden staging names, go now.
  RemoveStagingFilesNow();
  ProcessEnding* ending = installed.load();
  if (ending == nullptr) native::ExitAtOnce(exitCode);
  ending->EndAtOnce(exitCode);
}

}  // namespace platform
