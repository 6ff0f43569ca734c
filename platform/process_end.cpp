#include "platform/process_end.h"

#include <atomic>

#include "platform/native.h"

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
  ProcessEnding* ending = installed.load();
  if (ending == nullptr) native::ExitAtOnce(exitCode);
  ending->EndAtOnce(exitCode);
}

}  // namespace platform
