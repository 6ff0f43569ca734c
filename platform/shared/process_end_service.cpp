#include "platform/process_end.h"

#include <atomic>

#include "platform/files.h"
#include "platform/shared/host.h"

namespace platform {
namespace {
std::atomic<ProcessEnding*> installed{nullptr};
}  // namespace

void SetProcessEnding(ProcessEnding* ending) { installed.store(ending); }

void EndProcess(int exitCode) {
  ProcessEnding* ending = installed.load();
  if (ending == nullptr) host::Exit(exitCode);
  ending->End(exitCode);
}

void EndProcessAtOnce(int exitCode) {
  // No writer gets to finish or clean up: the files they were writing,
  // still under their hidden staging names, go now.
  RemoveStagingFilesNow();
  ProcessEnding* ending = installed.load();
  if (ending == nullptr) host::ExitAtOnce(exitCode);
  ending->EndAtOnce(exitCode);
}

}  // namespace platform
